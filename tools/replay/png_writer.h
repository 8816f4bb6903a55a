#pragma once
// Writes pictures as 8-bit RGB PNG files, whole or not at all (see OutputFile).

#include <cstdint>
#include <string>
#include <vector>

// rgba: width * height pixels of 4 bytes, top row first; alpha is dropped. Throws
// std::runtime_error when the file cannot be written.
void WritePng(const std::string& path, const std::vector<uint8_t>& rgba, int32_t width,
              int32_t height);
