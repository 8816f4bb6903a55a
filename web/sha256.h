#pragma once
// SHA-256, fed in pieces: the page hashes the trace of a recorded session frame by frame, as
// sha256sum hashes the trace file that a replay writes, without keeping the trace.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
  public:
    Sha256() { Reset(); }
    void Reset();
    void Add(std::string_view bytes);
    // The digest of everything added, as 64 lowercase hex digits; the hash can go on.
    std::string Hex() const;

  private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_{};
    std::array<uint8_t, 64> buffer_{};
    uint64_t length_ = 0;  // bytes added
};
