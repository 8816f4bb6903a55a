#pragma once
// Text helpers: decimal formatting of 32-bit integers as the runtime prints them, and user text
// made fit to quote in a one-line message.

#include <cstdint>
#include <string>
#include <string_view>

std::string DecimalText(int32_t value);

// `text` cut after `limit` bytes (then "..." follows) with control bytes written as \xNN; with
// asciiOnly, every byte outside printable ASCII is written so too.
std::string MessageText(std::string_view text, size_t limit, bool asciiOnly = false);
