#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

void FuzzFail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n== fuzz invariant failed at %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string Escaped(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && u != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}
