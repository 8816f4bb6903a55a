#pragma once
// Text from the command line or a script, made fit to quote in a one-line message: a user's
// file name or value may be long or hold control bytes, and a message must stay one readable
// line.

#include <cstddef>
#include <string>
#include <string_view>

// Longest run of a quoted value, in bytes, before it is cut and "..." appended.
inline constexpr size_t kShownLimit = 60;

// Control bytes (below 0x20, 0x7f, and the C1 controls U+0080..U+009F) and bytes that are not
// well-formed UTF-8 written as \xNN; everything else as it is.
std::string Printable(std::string_view text);

// Printable, after cutting at kShownLimit bytes (on a character boundary) with "...".
std::string Shown(std::string_view text);
