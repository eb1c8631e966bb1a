#include "platform/secret_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"

namespace tesvano {
namespace {

// mkdir -p with 0700 for each folder it makes; folders already there stay
// as they are.
bool MakeFolders(const std::string& dir, std::string* error) {
    if (dir.empty()) return true;
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) break;
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = dir + ": not a folder";
        return false;
    }
    return true;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool WriteSecretFile(const std::string& path, std::string_view text, std::string* error) {
    const std::string dir = DirectoryOfPath(path);
    if (dir != path && !MakeFolders(dir, error)) return false;
    const std::string prefix = (dir != path ? dir + "/." : std::string(".")) + path.substr(path.rfind('/') + 1);
    static std::atomic<unsigned> serial{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = prefix + "." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1)) + ".part";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    int failure = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        *error = path + ": " + std::strerror(failure ? failure : EIO);
        return false;
    }
    // The rename itself lasts once the folder is on disk.
    const std::string folder = dir == path ? "." : dir.empty() ? "/" : dir;
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0 || fsync(dirFd) != 0) {
        *error = folder + ": " + std::strerror(errno);
        if (dirFd >= 0) close(dirFd);
        return false;
    }
    if (close(dirFd) != 0) {
        *error = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tesvano
