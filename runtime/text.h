#pragma once
// Text helpers: decimal formatting of 32-bit integers as the runtime prints them.

#include <cstdint>
#include <string>

std::string DecimalText(int32_t value);
