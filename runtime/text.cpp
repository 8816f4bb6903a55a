#include "runtime/text.h"

#include <cstdio>

std::string DecimalText(int32_t value) { return std::to_string(value); }

std::string MessageText(std::string_view text, size_t limit, bool asciiOnly) {
    std::string out;
    for (char ch : text.substr(0, limit)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f || (asciiOnly && c > 0x7f)) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}
