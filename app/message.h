#pragma once
// Text from the command line or a script, made fit to quote in a one-line message: a user's
// file name or value may be long or hold control bytes, and a message must stay one readable
// line.

#include <cstddef>
#include <string>
#include <string_view>

// Longest quoted value, in bytes; a longer one keeps its head and tail around "...".
inline constexpr size_t kShownLimit = 60;

// Control bytes (below 0x20, 0x7f, and the C1 controls U+0080..U+009F) and bytes that are not
// well-formed UTF-8 written as \xNN; everything else as it is.
std::string Printable(std::string_view text);

// Printable, after cutting the middle out of a value longer than kShownLimit bytes (on
// character boundaries), so that head, "..." and tail take kShownLimit bytes at most.
std::string Shown(std::string_view text);
