// The user's configuration folder and the reading of small configuration
// files (camera.conf, voices.conf, the registry file). Header-only: the two
// sdk libraries link nothing of the program, yet must follow the same rules.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tesvano {

// $XDG_CONFIG_HOME when it is an absolute path (the XDG rules ignore a
// relative one), else ~/.config; "" when there is no home either.
inline std::string UserConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else {
        passwd pw;
        passwd* found = nullptr;
        char buf[4096];
        if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir) home = found->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.config";
}

enum class ConfigRead { kOk, kMissing, kFailed };

// Reads a configuration file whole. It is opened without blocking and taken
// only when it is a regular file of at most maxBytes: a FIFO or a device in
// its place would hang the program, a huge file fill its memory. kMissing
// when nothing is there; kFailed with the reason in *error otherwise (a read
// error is one, never an early end).
inline ConfigRead ReadConfigFile(const std::string& path, uint64_t maxBytes, std::string* text, std::string* error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ConfigRead::kMissing;
        *error = std::strerror(errno);
        return ConfigRead::kFailed;
    }
    text->clear();
    std::string why;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        why = "larger than " + std::to_string(maxBytes) + " bytes";
    } else {
        text->reserve(static_cast<size_t>(st.st_size));
        char buffer[16384];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                why = std::strerror(errno);
                break;
            }
            if (n == 0) break;
            // It may have grown since fstat.
            if (text->size() + static_cast<size_t>(n) > maxBytes) {
                why = "larger than " + std::to_string(maxBytes) + " bytes";
                break;
            }
            text->append(buffer, static_cast<size_t>(n));
        }
    }
    if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
    if (why.empty()) return ConfigRead::kOk;
    text->clear();
    *error = why;
    return ConfigRead::kFailed;
}

}  // namespace tesvano
