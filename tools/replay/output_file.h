#pragma once
// An output file that appears whole or not at all: it is written under a temporary name in the
// same directory and renamed onto its real name by Commit. Dropped without Commit, the temporary
// file is removed, so a failed run leaves nothing partial behind.

#include <cstdio>
#include <string>

class OutputFile {
public:
    // Creates the temporary file; throws std::runtime_error when the directory is not writable.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* stream() const { return file_; }
    const std::string& path() const { return path_; }
    // Flushes, closes and renames; throws std::runtime_error on any failure (and removes the
    // temporary file).
    void Commit();

private:
    void Discard();

    std::string path_;
    std::string temp_;
    std::FILE* file_ = nullptr;
};
