#include "platform/file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <optional>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"

namespace tesvano {

namespace {

// ---- Temporary names, removed when a signal ends the process ----

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction g_previous[std::size(kCleanedSignals)];
std::once_flag g_installed;
std::atomic<bool> g_namedForTesting{false};

enum : int { kSlotFree, kSlotFilling, kSlotNamed, kSlotRemoving };
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

// A name that exists only while a write is in flight. The handler reads a
// slot only in kSlotNamed and takes it (kSlotRemoving) before unlinking, so
// a slot being refilled is never read half-written.
struct PendingName {
    std::atomic<int> state{kSlotFree};
    int folder = -1;
    char name[256] = {};
};
// More than writes can be in flight: at most 256 conversion jobs, and the
// window writes one file at a time.
PendingName g_pending[512];

void RemovePendingNames() {
    for (auto& slot : g_pending) {
        int expected = kSlotNamed;
        if (slot.state.compare_exchange_strong(expected, kSlotRemoving)) unlinkat(slot.folder, slot.name, 0);
    }
}

void OnTerminatingSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    size_t k = 0;
    while (k + 1 < std::size(kCleanedSignals) && kCleanedSignals[k] != sig) ++k;
    const struct sigaction& previous = g_previous[k];
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, context);  // the program handles it, and may well go on
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
    } else {
        RemovePendingNames();
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(sig, &fallback, nullptr);
        raise(sig);  // blocked here; ends the process as the default would once the handler returns
    }
    errno = savedErrno;
}

void InstallSignalCleanup() {
    for (size_t k = 0; k < std::size(kCleanedSignals); ++k) {
        struct sigaction current {};
        if (sigaction(kCleanedSignals[k], nullptr, &current) != 0) continue;
        // An ignored signal ends nothing, so leaves nothing to clean.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
        g_previous[k] = current;
        struct sigaction ours {};
        ours.sa_sigaction = OnTerminatingSignal;
        ours.sa_flags = SA_SIGINFO | SA_RESTART;
        sigfillset(&ours.sa_mask);
        sigaction(kCleanedSignals[k], &ours, nullptr);
    }
}

// Registers `name` in `folder` for removal by a signal, before it exists.
PendingName* Register(int folder, const std::string& name) {
    for (;;) {
        for (auto& slot : g_pending) {
            int expected = kSlotFree;
            if (!slot.state.compare_exchange_strong(expected, kSlotFilling)) continue;
            slot.folder = folder;
            std::snprintf(slot.name, sizeof slot.name, "%s", name.c_str());
            slot.state.store(kSlotNamed, std::memory_order_release);
            return &slot;
        }
        sched_yield();  // every slot is a write in flight, which ends soon
    }
}

// False when a signal handler has taken the slot: the process is ending,
// and the folder descriptor must stay open for the handler.
bool Unregister(PendingName* slot, bool* signalled) {
    int expected = kSlotNamed;
    if (slot->state.compare_exchange_strong(expected, kSlotFree)) return true;
    *signalled = true;
    return false;
}

// ---- Writing ----

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now, for its result; the descriptor is gone either way.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }
    void Reset(int fd) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    // Left open on purpose (see Unregister).
    void Keep() { fd_ = -1; }

private:
    int fd_;
};

bool WriteAll(int fd, std::span<const uint8_t> part) {
    const uint8_t* p = part.data();
    size_t left = part.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The data, the permission bits when they are not the creation's, and the
// sync: on disk before any name points at it.
bool Fill(int fd, std::span<const std::span<const uint8_t>> parts, int mode) {
    for (auto part : parts)
        if (!WriteAll(fd, part)) return false;
    if (mode != WriteOptions::kKeepMode && fchmod(fd, static_cast<mode_t>(mode)) != 0) return false;
    return fsync(fd) == 0;
}

std::string TempNameFor(const std::string& base) {
    static std::atomic<uint32_t> serial{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.part", static_cast<long>(getpid()), serial.fetch_add(1));
    // A long name may not take the suffix: a shortened one does.
    return "." + (base.size() > 160 ? base.substr(0, 160) : base) + suffix;
}

struct Target {
    int folder;
    bool folderSyncs;  // opened for reading, not just as a path
    std::string base;
    bool exists;
    mode_t createMode;
    int mode;  // fchmod to this, or kKeepMode
    mutable bool signalled = false;  // a signal handler took one of our names
};

// The rename is on disk only once the folder is.
WriteStatus SyncFolder(const Target& t) {
    if (!t.folderSyncs || fsync(t.folder) == 0 || errno == EINVAL) return WriteStatus::kOk;
    return WriteStatus::kWriteFailed;
}

// Links the finished file to `temp` and renames that over the target.
WriteStatus LinkBesideAndRename(const Target& t, int fd, bool* noProc) {
    char source[32];
    std::snprintf(source, sizeof source, "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = TempNameFor(t.base);
        PendingName* slot = Register(t.folder, temp);
        if (linkat(AT_FDCWD, source, t.folder, temp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int error = errno;
            if (!Unregister(slot, &t.signalled)) return WriteStatus::kWriteFailed;
            if (error == EEXIST) continue;
            if (error == ENOENT) *noProc = true;
            return WriteStatus::kCreateFailed;
        }
        const bool renamed = renameat(t.folder, temp.c_str(), t.folder, t.base.c_str()) == 0;
        if (!renamed) unlinkat(t.folder, temp.c_str(), 0);
        if (!Unregister(slot, &t.signalled)) return WriteStatus::kWriteFailed;
        return renamed ? WriteStatus::kOk : WriteStatus::kCreateFailed;
    }
    return WriteStatus::kCreateFailed;
}

// The file is made without a name (O_TMPFILE) and linked in only once it is
// complete, so nothing can be left of it. Nothing when the file system
// cannot do that: the caller then writes under a temporary name.
std::optional<WriteStatus> WriteNameless(const Target& t, std::span<const std::span<const uint8_t>> parts) {
    Fd fd(openat(t.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, t.createMode));
    if (fd.get() < 0) return std::nullopt;
    if (!Fill(fd.get(), parts, t.mode)) return WriteStatus::kWriteFailed;
    if (!t.exists) {
        char source[32];
        std::snprintf(source, sizeof source, "/proc/self/fd/%d", fd.get());
        if (linkat(AT_FDCWD, source, t.folder, t.base.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            if (!fd.Close()) {
                unlinkat(t.folder, t.base.c_str(), 0);  // ours, just made: nothing was replaced
                return WriteStatus::kWriteFailed;
            }
            return SyncFolder(t);
        }
        if (errno == ENOENT) return std::nullopt;  // no /proc to link through
        if (errno != EEXIST) return WriteStatus::kCreateFailed;
        // Made meanwhile: replace it as any existing file.
    }
    bool noProc = false;
    const WriteStatus linked = LinkBesideAndRename(t, fd.get(), &noProc);
    if (noProc) return std::nullopt;
    if (linked != WriteStatus::kOk) return linked;
    if (!fd.Close()) return WriteStatus::kWriteFailed;
    return SyncFolder(t);
}

WriteStatus WriteNamed(const Target& t, std::span<const std::span<const uint8_t>> parts) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = TempNameFor(t.base);
        PendingName* slot = Register(t.folder, temp);
        Fd fd(openat(t.folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, t.createMode));
        if (fd.get() < 0) {
            const int error = errno;
            if (!Unregister(slot, &t.signalled)) return WriteStatus::kWriteFailed;
            if (error == EEXIST) continue;
            return WriteStatus::kCreateFailed;
        }
        bool ok = Fill(fd.get(), parts, t.mode);
        if (!fd.Close()) ok = false;
        WriteStatus status = WriteStatus::kOk;
        if (!ok) {
            status = WriteStatus::kWriteFailed;
        } else if (renameat(t.folder, temp.c_str(), t.folder, t.base.c_str()) != 0) {
            status = WriteStatus::kCreateFailed;  // a folder in the way, or a name the file system refuses
        }
        if (status != WriteStatus::kOk) unlinkat(t.folder, temp.c_str(), 0);
        if (!Unregister(slot, &t.signalled)) return WriteStatus::kWriteFailed;
        return status == WriteStatus::kOk ? SyncFolder(t) : status;
    }
    return WriteStatus::kCreateFailed;
}

}  // namespace

void UseNamedTempFilesForTesting(bool named) { g_namedForTesting = named; }

WriteStatus WriteWholeFile(const std::string& path, std::span<const std::span<const uint8_t>> parts,
                           const WriteOptions& options) {
    std::call_once(g_installed, InstallSignalCleanup);
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    Target t{};
    t.base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (t.base.empty()) return WriteStatus::kCreateFailed;

    Fd folder(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    t.folderSyncs = folder.get() >= 0;
    // A folder we may write into but not list: no sync of it, the rest works.
    if (!t.folderSyncs) folder.Reset(open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return WriteStatus::kCreateFailed;
    t.folder = folder.get();

    struct stat old;
    t.exists = fstatat(t.folder, t.base.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    t.mode = options.mode;
    // A replaced file keeps its permission bits (those of what a link points at).
    if (t.mode == WriteOptions::kKeepMode && fstatat(t.folder, t.base.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode))
        t.mode = static_cast<int>(old.st_mode & 0777);
    // Never more open than asked while it is written.
    t.createMode = t.mode == WriteOptions::kKeepMode ? 0666 : 0600;

    std::optional<WriteStatus> status;
    if (!g_namedForTesting) status = WriteNameless(t, parts);
    if (!status) status = WriteNamed(t, parts);
    // A signal took a name of this write: the process is ending, and the
    // handler may still use the folder's descriptor.
    if (t.signalled) folder.Keep();
    return *status;
}

bool ReadSmallFile(const std::string& path, uint64_t maxBytes, std::string* data) {
    // Opened without waiting: a FIFO in a file's place is refused, not waited on.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= maxBytes;
    if (ok) data->resize(static_cast<size_t>(st.st_size));
    // A file that grew since fstat is read only as far as it was.
    size_t got = 0;
    while (ok && got < data->size()) {
        const ssize_t n = read(fd, data->data() + got, data->size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;  // a read error, or a file that shrank
        else got += static_cast<size_t>(n);
    }
    close(fd);
    return ok;
}

std::string FileErrorText(const std::string& path, int error) {
    return path + ": " + std::strerror(error != 0 ? error : EIO);
}

std::u16string DescribeFileError(const std::string& path, int error) { return AnsiToWide(FileErrorText(path, error)); }

uint32_t GetFileSize32(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));
}

}  // namespace tesvano
