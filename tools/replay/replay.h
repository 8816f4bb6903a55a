#pragma once
// The replay run: the sandbox program itself on the offscreen video driver and a virtual clock,
// its input read from a script and pushed into the host as real SDL events, its particles traced
// and its frames captured at presentation.

#include <vector>

#include "app/scene_file.h"
#include "tools/replay/options.h"

// Everything about a run that can be checked before its window opens: the outputs (see
// CheckOutputs) and whether the last picture asked for will exist. Throws UsageError; makes and
// leaves nothing.
void CheckRun(const ReplayOptions& options, const std::vector<ScriptEvent>& events);

// Runs the program for options.frames frames, or until the script holds Escape, after CheckRun,
// from `scene` (from LoadScene; none: the pyramid). Makes the picture directory first. Returns
// 0; throws std::runtime_error when an output could not be written (nothing partial is left
// behind). --save gets the state after the last frame run.
int RunReplay(const ReplayOptions& options, const std::vector<ScriptEvent>& events,
              const SceneData* scene = nullptr);
