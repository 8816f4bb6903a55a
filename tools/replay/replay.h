#pragma once
// The replay run: the sandbox program itself on the offscreen video driver and a virtual clock,
// its input read from a script and pushed into the host as real SDL events, its particles traced
// and its frames captured at presentation.

#include <vector>

#include "tools/replay/options.h"

// Checks that every output can be written (throws UsageError otherwise), then runs the program
// for options.frames frames. Returns the exit status: 0, or 1 when an output could not be
// written at the end (with a message on standard error).
int RunReplay(const ReplayOptions& options, const std::vector<ScriptEvent>& events);
