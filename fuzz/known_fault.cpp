#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "fuzz/fuzz_check.h"

void FuzzFail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n== fuzz invariant failed at %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {

bool Strict(const char* name) {
    const char* env = std::getenv("FUZZ_STRICT");
    if (env == nullptr) return false;
    const std::string list = std::string(",") + env + ",";
    return list == ",all," || list.find(std::string(",") + name + ",") != std::string::npos;
}

}  // namespace

bool KnownFault(const char* name, bool ok, const std::string& detail) {
    if (ok) return true;
    if (Strict(name)) FuzzFail(__FILE__, __LINE__, std::string(name) + ": " + detail);
    static std::set<std::string> reported;
    if (reported.insert(name).second) {
        std::fprintf(stderr,
                     "== known fault '%s' (a finding with FUZZ_STRICT=%s), first seen: %s\n", name,
                     name, detail.c_str());
    }
    return false;
}

std::string Escaped(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && u != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}
