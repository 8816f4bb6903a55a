#include "runtime/error.h"

#include <cstdio>

void RuntimeThrow(const std::string& message) { throw RuntimeError(message); }

int RunGuarded(const std::function<int()>& body) {
    try {
        return body();
    } catch (const RuntimeError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        std::fflush(stderr);
        return 1;
    }
}
