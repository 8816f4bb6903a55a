#pragma once
// An output file that appears whole or not at all: it is written under a temporary name in the
// same directory (the real name, cut short where need be, and a suffix) and renamed onto its
// real name by Commit. Dropped without Commit, the temporary
// file is removed, so a failed run leaves nothing partial behind; so does a run ended by a
// signal, once InstallTempFileCleanup has run.
//
// Only a missing name or a regular file is ever replaced: a directory, a symbolic link, a
// device or a pipe at the real name is refused, at creation and again at Commit.

#include <cstdio>
#include <string>

class OutputFile {
  public:
    // Creates the temporary file; throws std::runtime_error when the directory is not writable
    // or the name stands for something other than a regular file.
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
    int slot_ = -1;  // in the table of temporary names a signal removes
    std::FILE* file_ = nullptr;
};

// Throws std::runtime_error when `path` names something that is there and is not a regular
// file (checked without following a symbolic link), saying what it is.
void CheckReplaceable(const std::string& path);

// On SIGINT, SIGTERM, SIGHUP and SIGPIPE: removes every temporary file of a live OutputFile,
// then ends the process by the same signal, as it would have ended without the handler.
void InstallTempFileCleanup();

// For a live session, whose files are to hold whole frames however it ends: the first of those
// signals only asks the session to end, and SessionEndSignal says which one came; the program
// ends its session between two frames, commits its files, then calls ReraiseSessionEndSignal.
// A second signal acts as InstallTempFileCleanup's handler does.
void InstallSessionEndSignals();
// The signal that asked the session to end, or 0.
int SessionEndSignal();
// Ends the process by the signal that asked the session to end, as it would have ended
// without the handler; returns when none did.
void ReraiseSessionEndSignal();
