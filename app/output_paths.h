#pragma once
// The checks that a program's files pass before anything starts: no two of its inputs and
// outputs are one file, so that no output replaces an input or another output, and each output
// names a new or regular file in a writable directory. Nothing is left behind by the checks.

#include <filesystem>
#include <string>
#include <vector>

// A file named on the command line, with the option that named it.
struct NamedPath {
    std::string option;  // or, for a file a script names, where it names it
    std::string path;
};

// "--trace 'live.txt'", for messages.
std::string Quoted(const NamedPath& file);

// The path with every existing directory resolved, for comparing names of one file.
std::filesystem::path ResolvedPath(const std::string& path);

// Whether two names stand for one file: equal once every existing directory is resolved, or
// two links to one inode.
bool SameFile(const std::string& a, const std::string& b);

// Throws UsageError when two of `files` name one file.
void CheckDistinct(const std::vector<NamedPath>& files);

// Throws UsageError when `out` cannot be written as an OutputFile (app/output_file.h): a
// directory, something that is not a regular file, a directory that cannot be written.
void CheckFileOutput(const NamedPath& out);

// The scene named by --scene when it is a file (not a built-in's name), as an input that no
// output may replace; none when `scene` names no file.
std::vector<NamedPath> SceneInput(const std::string& scene);
