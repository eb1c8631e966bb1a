#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tesvano {

WriteStatus WriteWholeFile(const std::string& path, std::span<const std::span<const uint8_t>> parts) {
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return WriteStatus::kCreateFailed;
    bool ok = true;
    for (auto part : parts) {
        const uint8_t* p = part.data();
        size_t left = part.size();
        while (ok && left > 0) {
            ssize_t n = write(fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    if (close(fd) != 0) ok = false;
    if (!ok) {
        unlink(path.c_str());
        return WriteStatus::kWriteFailed;
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
