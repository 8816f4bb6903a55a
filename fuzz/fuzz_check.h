#pragma once
// What the fuzz targets share: an invariant check that ends the run (a finding libFuzzer keeps)
// and a reader that turns the fuzzer's bytes into bounded choices.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Prints what failed and aborts, so that the fuzzer stops and saves the input.
[[noreturn]] void FuzzFail(const char* file, int line, const std::string& what);
#define FUZZ_CHECK(cond, what)                             \
    do {                                                   \
        if (!(cond)) FuzzFail(__FILE__, __LINE__, (what)); \
    } while (0)

// FUZZ_CHECK inside a target's class, with its operations so far (`trace_`) in the message.
#define FUZZ_CHECK_OPS(cond, what) FUZZ_CHECK(cond, std::string(what) + "; ops " + trace_)

// Bytes escaped for a message: printable ASCII as is, the rest as \xNN.
std::string Escaped(std::string_view bytes);

// Consumes the fuzzer's bytes front to back; past the end every read gives 0.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    size_t remaining() const { return static_cast<size_t>(end_ - p_); }
    uint8_t Byte() { return p_ != end_ ? *p_++ : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
    // An integer in lo..hi (inclusive), from one byte when the range fits in one.
    int32_t Int(int32_t lo, int32_t hi) {
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
        const uint64_t raw = span <= 256 ? Byte() : U32();
        return static_cast<int32_t>(lo + static_cast<int64_t>(raw % span));
    }
    // A float in lo..hi, in 65536 steps.
    float Float(float lo, float hi) {
        const uint32_t raw = (static_cast<uint32_t>(Byte()) << 8) | Byte();
        return lo + (hi - lo) * (static_cast<float>(raw) / 65535.0f);
    }
    // Any float bit pattern: NaN, infinities and denormals included.
    float AnyFloat() {
        const uint32_t bits = U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Up to max bytes, as they come.
    std::string Bytes(size_t max) {
        const size_t n = std::min<size_t>(Int(0, static_cast<int32_t>(max)), remaining());
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};
