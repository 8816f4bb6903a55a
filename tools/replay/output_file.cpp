#include "tools/replay/output_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {
std::string SystemError(const std::string& what, const std::string& path) {
    return what + " '" + path + "': " + std::strerror(errno);
}
}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    // The temporary name sits beside the target so that the rename cannot cross file systems.
    std::string pattern = path_ + ".tmp-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = mkstemp(buf.data());
    if (fd < 0) throw std::runtime_error(SystemError("cannot create", path_));
    temp_.assign(buf.data());
    // mkstemp makes the file private (0600); give it the permissions a plain fopen would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        close(fd);
        unlink(temp_.c_str());
        throw std::runtime_error(SystemError("cannot write", path_));
    }
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
}

void OutputFile::Commit() {
    if (file_ == nullptr) throw std::runtime_error("'" + path_ + "' was already written");
    const bool writeFailed = std::ferror(file_) != 0 || std::fflush(file_) != 0;
    const int savedErrno = errno;
    const bool closeFailed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (writeFailed || closeFailed) {
        errno = writeFailed ? savedErrno : errno;
        const std::string message = SystemError("cannot write", path_);
        Discard();
        throw std::runtime_error(message);
    }
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        const std::string message = SystemError("cannot rename onto", path_);
        Discard();
        throw std::runtime_error(message);
    }
    temp_.clear();
}
