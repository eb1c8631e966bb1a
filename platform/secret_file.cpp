#include "platform/secret_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/file.h"
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

}  // namespace

bool WriteSecretFile(const std::string& path, std::string_view text, std::string* error) {
    const std::string dir = DirectoryOfPath(path);
    if (dir != path && !MakeFolders(dir, error)) return false;
    // The folder it sits in is ours to keep private, even one made open before.
    if (dir != path && chmod(dir.c_str(), 0700) != 0) {
        *error = dir + ": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    const WriteStatus status = WriteWholeFile(
        path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), WriteOptions{.mode = 0600});
    if (status == WriteStatus::kOk) return true;
    *error = path + ": " + std::strerror(errno ? errno : EIO);
    return false;
}

}  // namespace tesvano
