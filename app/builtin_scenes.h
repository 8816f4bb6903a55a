#pragma once
// The scenes that come with the program: the files of the scenes folder, built into the
// program so that `--scene chain` works from any folder. They load through the same path as a
// user's own files.

#include <string_view>
#include <vector>

struct BuiltinScene {
    std::string_view name;  // the file name without its .json
    std::string_view text;
};

// In file name order.
const std::vector<BuiltinScene>& BuiltinScenes();
