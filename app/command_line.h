#pragma once
// The sandbox's command line:
//
//   sandbox [--scene FILE|NAME] [--record FILE] [--trace FILE] [--look classic|clear]
//
// (app/option_reader.h: `--name value` or `--name=value`.)
// A bad option or value is one line of text naming it; the program prints it and exits with
// status 2 before anything starts.

#include <string>
#include <vector>

#include "app/option_reader.h"
#include "app/settings.h"

using CommandLineError = UsageError;

struct SandboxCommandLine {
    std::string scene;       // a scene file or a built-in scene's name; empty: the pyramid
    std::string recordPath;  // the session as a replay script
    std::string tracePath;   // the particle trace, as sandbox-replay --trace writes it
    Look look = Look::kClassic;
    bool help = false;
};

// `--look classic|clear` into `look`; both programs take it.
OptionSpec LookOption(Look& look);

// Throws CommandLineError.
SandboxCommandLine ParseSandboxCommandLine(const std::vector<std::string>& args);

// The usage text, naming the built-in scenes.
std::string SandboxUsage();
