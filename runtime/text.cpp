#include "runtime/text.h"

std::string DecimalText(int32_t value) { return std::to_string(value); }
