#pragma once
// The programs' command lines: long options, each given at most once, with its value as the
// next argument (`--frames 100`) or after an equals sign (`--frames=100`); `--help` or `-h`
// anywhere before a fault asks for the usage. Every fault is a UsageError whose message is one
// line naming the option; the programs print it and exit with status 2 before anything starts.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::string_view name;   // with its dashes: "--frames"
    std::string_view needs;  // what the value is, for the message when it is missing: "a value"
    // Takes the value; throws UsageError when it is not one the option can have.
    std::function<void(const std::string& value)> take;
    // An empty value counts as a missing one (file names); otherwise `take` judges it.
    bool emptyIsMissing = true;
};

// Reads `args` in order against `options`, calling each option's `take` as it comes. Returns
// true when help was asked for (nothing after it is read). Throws UsageError: an unknown
// option, one given twice, a missing value, or what `take` throws.
bool ReadOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& options);

// A whole decimal int32 with an optional sign, nothing else; throws UsageError naming `what`.
int32_t ParseInt(const std::string& text, const std::string& what);
