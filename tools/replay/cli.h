#pragma once
// The replay tool's whole program after the process entry, shared by sandbox-replay and its
// WebAssembly build (replay.js), so that one script gives both the same checks, messages, exit
// status, traces and saves. Exit status: 0 for a finished run, 2 for a bad command line, script,
// scene or output (nothing started), 1 for a run that failed.

#include <string>
#include <vector>

struct ReplayTool {
    const char* name;  // starts every message
    bool pictures;     // false: --png, --png-every and --png-dir are refused
};

int ReplayMain(const std::vector<std::string>& args, const ReplayTool& tool);
