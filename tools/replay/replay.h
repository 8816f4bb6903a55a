#pragma once
// The replay run: the sandbox program itself on the offscreen video driver and a virtual clock,
// its input read from a script and pushed into the host as real SDL events, its particles traced
// and its frames captured at presentation.

#include <map>
#include <memory>
#include <string>
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
// The scenes a script's `scene` commands name, loaded before the run so that a bad one is
// refused before the window opens (UsageError naming the line).
using ScriptScenes = std::map<std::string, std::shared_ptr<const SceneData>>;
ScriptScenes LoadScriptScenes(const std::vector<ScriptEvent>& events, const std::string& name);

int RunReplay(const ReplayOptions& options, const std::vector<ScriptEvent>& events,
              const SceneData* scene = nullptr, const ScriptScenes& scenes = {});
