#pragma once
// Run-time errors of the object runtime. Nothing in the system catches them; the program's top
// level (RunGuarded) prints the message to standard error and ends with a non-zero status.

#include <functional>
#include <stdexcept>
#include <string>

class RuntimeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void RuntimeThrow(const std::string& message);

// Runs body; a RuntimeError escaping it is printed on standard error and gives status 1.
int RunGuarded(const std::function<int()>& body);
