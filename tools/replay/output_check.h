#pragma once
// The checks a run's outputs pass before anything starts: each names a new or regular file in
// a writable directory (the picture directory a directory, or one that can be made), and no two
// of the input and the outputs are one file, so that no output replaces the input or another
// output. Nothing is left behind by the checks: the picture directory is made by
// PreparePictureDirectory when the run starts.

#include <string>
#include <vector>

#include "tools/replay/options.h"

// Throws UsageError naming the option and the path. The scene files that the script's `scene`
// commands name (`events`) are inputs too.
void CheckOutputs(const ReplayOptions& options, const std::vector<ScriptEvent>& events = {});

// Whether `name` (a bare file name) is one the picture series writes in its directory.
bool IsSeriesPicture(const std::string& name, int32_t every, int32_t frames);

// Makes the picture directory if there is none; throws std::runtime_error when it cannot.
void PreparePictureDirectory(const std::string& dir);
