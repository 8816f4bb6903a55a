#include "app/message.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at the start of text, or 0 when there is none.
size_t SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t n = 0;
    uint32_t cp = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        cp = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        cp = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return n;
}

bool IsControl(std::string_view sequence) {
    const auto lead = static_cast<uint8_t>(sequence[0]);
    if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
    // U+0080..U+009F are encoded C2 80..C2 9F.
    return lead == 0xC2 && static_cast<uint8_t>(sequence[1]) <= 0x9F;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof(hex), "\\x%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
        out += hex;
    }
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        size_t n = SequenceLength(text);
        if (n == 0) {
            AppendEscaped(out, text.substr(0, 1));
            n = 1;
        } else if (IsControl(text.substr(0, n))) {
            AppendEscaped(out, text.substr(0, n));
        } else {
            out.append(text.substr(0, n));
        }
        text.remove_prefix(n);
    }
    return out;
}

std::string Shown(std::string_view text) {
    if (text.size() <= kShownLimit) return Printable(text);
    // The head and the tail: a path's directory and its file name both say something.
    constexpr size_t kTail = (kShownLimit - 3) / 2, kHead = kShownLimit - 3 - kTail;
    const auto continues = [&](size_t i) { return (static_cast<uint8_t>(text[i]) & 0xC0) == 0x80; };
    // Move each cut onto a character boundary (at most three continuation bytes; more is
    // malformed text, cut anywhere) so that no character is split.
    size_t head = kHead, tail = text.size() - kTail;
    for (int i = 0; i < 3 && continues(head); ++i) --head;
    if (continues(head)) head = kHead;
    for (int i = 0; i < 3 && tail < text.size() && continues(tail); ++i) ++tail;
    if (tail < text.size() && continues(tail)) tail = text.size() - kTail;
    return Printable(text.substr(0, head)) + "..." + Printable(text.substr(tail));
}
