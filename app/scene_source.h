#pragma once
// Where the programs get their scenes: a file, or a built-in scene by name; and the numbered
// files the sandbox saves to.

#include <filesystem>
#include <memory>
#include <string>

#include "app/scene_file.h"

// `arg` names a file when there is one by that name, else a built-in scene; the load's error
// says when it is neither. Messages start with the file's name (or the built-in's name).
SceneLoad ReadSceneArgument(const std::string& arg);

// ReadSceneArgument for the controls' scene loads: the scene, or none and `error` set.
std::shared_ptr<const SceneData> ResolveSceneArgument(const std::string& arg, std::string& error);

// The built-in scenes' names, comma-separated, for messages and help.
std::string BuiltinSceneList();

// Writes `text` to the first of dir/scene-0001.json, dir/scene-0002.json ... that does not
// exist yet, never replacing a file, and returns the name written. The file appears whole or
// not at all. Throws std::runtime_error when nothing could be written.
std::filesystem::path SaveSceneNumbered(const std::string& text, const std::filesystem::path& dir);
