#include "platform/file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tesvano {

namespace {

// A new file beside `path` (same folder, so a rename replaces atomically),
// created exclusively with the usual permissions; -1 when none can be made.
int CreateBeside(const std::string& path, std::string* tempPath) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    static std::atomic<uint32_t> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.part", static_cast<long>(getpid()), serial.fetch_add(1));
        // A long name may not take the suffix: fall back to a short one.
        *tempPath = dir + "." + (base.size() > 160 ? base.substr(0, 160) : base) + suffix;
        const int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

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

}  // namespace

WriteStatus WriteWholeFile(const std::string& path, std::span<const std::span<const uint8_t>> parts) {
    // Written beside and renamed over: a failure leaves any old file whole,
    // and a file that is also the input is only replaced once fully written.
    std::string temp;
    const int fd = CreateBeside(path, &temp);
    if (fd < 0) return WriteStatus::kCreateFailed;
    bool ok = true;
    for (auto part : parts) {
        if (!(ok = WriteAll(fd, part))) break;
    }
    if (close(fd) != 0) ok = false;
    if (!ok) {
        unlink(temp.c_str());
        return WriteStatus::kWriteFailed;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        // A folder in the way, or a name the file system refuses.
        unlink(temp.c_str());
        return WriteStatus::kCreateFailed;
    }
    return WriteStatus::kOk;
}

bool ReadSmallFile(const std::string& path, uint64_t maxBytes, std::string* data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxBytes) {
        std::fclose(f);
        return false;
    }
    data->resize(static_cast<size_t>(st.st_size));
    const size_t got = std::fread(data->data(), 1, data->size(), f);
    // A file that grew since fstat is read only as far as it was.
    const bool ok = got == data->size() && !std::ferror(f);
    std::fclose(f);
    return ok;
}

uint32_t GetFileSize32(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));
}

}  // namespace tesvano
