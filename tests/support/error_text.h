#pragma once
// Helpers for tests of text that is read and refused: a replay script parsed from a string, and
// the message of the error a call throws.

#include <sstream>
#include <string>
#include <vector>

#include "tools/replay/options.h"

inline std::vector<ScriptEvent> ParseScriptText(const std::string& text) {
    std::istringstream in(text);
    return ParseScript(in, "s");
}

// The message of the Error that `call` throws, or "no error" when it throws none.
template <class Error, class Call>
std::string ErrorText(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}
