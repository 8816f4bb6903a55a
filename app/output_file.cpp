#include "app/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "app/message.h"

namespace {

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " '" + Shown(path) + "': " + std::strerror(errno);
}

// The temporary names a signal handler removes. The handler may only read plain memory, so the
// names live in fixed buffers; a slot's flag is set after its name is written and cleared
// before the slot is reused.
constexpr size_t kTempSlots = 16;
struct TempSlot {
    std::atomic<bool> used{false};
    char path[PATH_MAX + 32];
};
std::array<TempSlot, kTempSlots> g_temps;
std::atomic_flag g_slotLock = ATOMIC_FLAG_INIT;  // taken only outside the handler
static_assert(std::atomic<bool>::is_always_lock_free);

int ClaimSlot(const std::string& path) {
    if (path.size() >= sizeof(TempSlot::path)) return -1;
    while (g_slotLock.test_and_set(std::memory_order_acquire)) {
    }
    int claimed = -1;
    for (size_t i = 0; i < kTempSlots && claimed < 0; ++i) {
        if (!g_temps[i].used.load()) {
            std::memcpy(g_temps[i].path, path.c_str(), path.size() + 1);
            g_temps[i].used.store(true);
            claimed = static_cast<int>(i);
        }
    }
    g_slotLock.clear(std::memory_order_release);
    return claimed;
}

void ReleaseSlot(int slot) {
    if (slot >= 0) g_temps[static_cast<size_t>(slot)].used.store(false);
}

void RemoveTemps() {
    for (TempSlot& t : g_temps) {
        if (t.used.load()) unlink(t.path);
    }
}

void RemoveTempsAndReraise(int sig) {
    RemoveTemps();
    // The signal is blocked while its handler runs: raised again with the default action, it
    // ends the process as soon as the handler returns.
    signal(sig, SIG_DFL);
    raise(sig);
}

// The signal that asked a live session to end; the handler's first call sets it.
std::atomic<int> g_endSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void AskSessionEnd(int sig) {
    int none = 0;
    if (!g_endSignal.compare_exchange_strong(none, sig)) RemoveTempsAndReraise(sig);
}

void InstallHandler(void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        // A signal the caller chose to ignore stays ignored (nohup, a shell's background job).
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &action, nullptr);
    }
}

// The temporary name for `path`: its directory, its file name cut so that the suffix still fits
// in the longest name the directory takes, then ".tmp-XXXXXX" for mkstemp.
std::string TempPattern(const std::string& path) {
    constexpr std::string_view kSuffix = ".tmp-XXXXXX";
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string dir = nameStart == 0 ? "." : path.substr(0, nameStart);
    const long longest = pathconf(dir.c_str(), _PC_NAME_MAX);
    const size_t fits =
        (longest > static_cast<long>(kSuffix.size()) ? static_cast<size_t>(longest) : 255) -
        kSuffix.size();
    const size_t nameLength = std::min(path.size() - nameStart, fits);
    return path.substr(0, nameStart + nameLength) + std::string(kSuffix);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

void CheckReplaceable(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
    throw std::runtime_error("'" + Shown(path) + "' is " + KindOf(st.st_mode) +
                             ", not a regular file; refusing to replace it");
}

// A process ended with exit() from deep inside a run (the display lost) removes them too.
void InstallTempFileCleanup() {
    InstallHandler(RemoveTempsAndReraise, 0);
    std::atexit(RemoveTemps);
}

// Restarting what a signal interrupts: the session goes on to the end of its frame.
void InstallSessionEndSignals() {
    InstallHandler(AskSessionEnd, SA_RESTART);
    std::atexit(RemoveTemps);
}

int SessionEndSignal() { return g_endSignal.load(); }

void ReraiseSessionEndSignal() {
    const int sig = g_endSignal.load();
    if (sig == 0) return;
    signal(sig, SIG_DFL);
    raise(sig);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    CheckReplaceable(path_);
    // The temporary name sits beside the target so that the rename cannot cross file systems.
    const std::string pattern = TempPattern(path_);
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    // Signals wait while the file is made and its name recorded, so that none can fall between
    // the two and leave the file behind.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    const int fd = mkstemp(buf.data());
    const int savedErrno = errno;
    if (fd >= 0) slot_ = ClaimSlot(buf.data());
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = savedErrno;
    if (fd < 0) throw std::runtime_error(SystemError("cannot create", path_));
    temp_.assign(buf.data());
    if (slot_ < 0) {
        close(fd);
        Discard();
        throw std::runtime_error("cannot create '" + Shown(path_) +
                                 "': too many outputs at once, or the name is too long");
    }
    // mkstemp makes the file private (0600); give it the permissions a plain fopen would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        close(fd);
        const std::string message = SystemError("cannot write", path_);
        Discard();
        throw std::runtime_error(message);
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
    ReleaseSlot(slot_);
    slot_ = -1;
}

void OutputFile::Commit() {
    if (file_ == nullptr) throw std::runtime_error("'" + Shown(path_) + "' was already written");
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
    // What stands at the name may have changed since the run began; rename would replace a
    // symbolic link or a device node as readily as a file.
    try {
        CheckReplaceable(path_);
    } catch (...) {
        Discard();
        throw;
    }
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        const std::string message = SystemError("cannot rename onto", path_);
        Discard();
        throw std::runtime_error(message);
    }
    temp_.clear();
    ReleaseSlot(slot_);
    slot_ = -1;
}
