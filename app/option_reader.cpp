#include "app/option_reader.h"

#include <charconv>

#include "app/message.h"

bool ReadOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& options) {
    std::vector<bool> seen(options.size(), false);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") return true;
        const size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        size_t k = 0;
        while (k < options.size() && options[k].name != name) ++k;
        if (k == options.size()) throw UsageError("unknown option '" + Shown(name) + "'");
        const OptionSpec& option = options[k];
        if (seen[k]) throw UsageError(name + " given twice");
        seen[k] = true;
        const bool inline_ = equals != std::string::npos;
        if (!inline_ && i + 1 >= args.size()) {
            throw UsageError(name + " needs " + std::string(option.needs));
        }
        const std::string& value = inline_ ? arg.substr(equals + 1) : args[++i];
        if (value.empty() && option.emptyIsMissing) {
            throw UsageError(name + " needs " + std::string(option.needs));
        }
        option.take(value);
    }
    return false;
}

int32_t ParseInt(const std::string& text, const std::string& what) {
    int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    // from_chars takes '-' but not '+'; a '+' counts only before a digit ("+-5" is no number)
    if (last - first >= 2 && *first == '+' && first[1] >= '0' && first[1] <= '9') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec == std::errc::invalid_argument || end != last) {
        throw UsageError(what + ": '" + Shown(text) + "' is not a whole number");
    }
    if (ec == std::errc::result_out_of_range) {
        throw UsageError(what + ": " + Shown(text) + " is out of range");
    }
    return value;
}
