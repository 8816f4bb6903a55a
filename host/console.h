#pragma once
// Console output and the text encodings around it. Text is a sequence of 16-bit code units;
// standard output gets it as UTF-8.

#include <string>
#include <string_view>

// Writes text as UTF-8, then "\r\n", in one write, and flushes standard output.
void PrintLine(std::u16string_view text);
// The same for UTF-8 text (ASCII included), repaired as Utf16FromUtf8 does.
void PrintLine(std::string_view utf8);
inline void PrintLine(const std::string& utf8) { PrintLine(std::string_view(utf8)); }
inline void PrintLine(const char* utf8) { PrintLine(std::string_view(utf8)); }

// UTF-16 to UTF-8: a valid surrogate pair becomes one four-byte sequence; a lone surrogate
// becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// UTF-8 to UTF-16: each malformed or truncated sequence, overlong form or encoded surrogate
// becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);
