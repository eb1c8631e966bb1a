#include "platform/system.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/config_file.h"
#include "platform/text.h"

extern char** environ;

namespace tesvano {
namespace {

std::mutex g_hookMutex;
std::function<uint32_t()> g_tickSource;
std::function<bool(const std::string&)> g_opener;

}  // namespace

std::string DirectoryOfPath(std::string_view path) {
    const size_t pos = path.rfind('/');
    if (pos == std::string_view::npos) return std::string(path);
    return std::string(path.substr(0, pos));
}

std::string GetProgramDirectory() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    // A path of PATH_MAX bytes or more may have been cut: better none than a wrong one.
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return {};
    return DirectoryOfPath(std::string_view(buf, static_cast<size_t>(n)));
}

uint32_t GetTickCount32() {
    {
        std::lock_guard lock(g_hookMutex);
        if (g_tickSource) return g_tickSource();
    }
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void SetTickSourceForTesting(std::function<uint32_t()> source) {
    std::lock_guard lock(g_hookMutex);
    g_tickSource = std::move(source);
}

void SleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: "$HOME/..." or an absolute path.
std::string XdgDocumentsDir(const std::string& home) {
    const std::string folder = UserConfigFolder();
    std::string text, error;
    if (folder.empty() || ReadConfigFile(folder + "/user-dirs.dirs", 1 << 20, &text, &error) != ConfigRead::kOk)
        return {};
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=\"";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.empty() || value.back() != '"') return {};
        value.pop_back();
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        return value.empty() || value[0] != '/' ? std::string() : value;
    }
    return {};
}

// Whether a variable would hand a secret to a program we start: the camera
// source (it may hold a password) and anything named like a key or token,
// the speech server's key among them (voices.conf's key_env).
bool IsSecretVariable(std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('='));
    if (name == "TESVANO_CAMERA_URL" || name == "TESVANO_TTS_KEY") return true;
    for (std::string_view suffix : {"_KEY", "_TOKEN", "_SECRET", "_PASSWORD"})
        if (name.ends_with(suffix)) return true;
    return false;
}

}  // namespace

std::u16string GetDocumentsFolder() {
    const char* h = std::getenv("HOME");
    std::string home = h ? h : "";
    if (home.empty()) return {};
    std::string docs = XdgDocumentsDir(home);
    if (docs.empty()) docs = home + "/Documents";
    return AnsiToWide(IsDirectory(docs) ? docs : home);
}

void SetDesktopOpenerForTesting(std::function<bool(const std::string&)> opener) {
    std::lock_guard lock(g_hookMutex);
    g_opener = std::move(opener);
}

bool OpenWithDesktop(const std::string& path) {
    {
        std::lock_guard lock(g_hookMutex);
        if (g_opener) return g_opener(path);
    }
    const char* off = std::getenv("TESVANO_NO_DESKTOP_OPEN");
    if (off && *off && std::string(off) != "0") return true;

    // The path is one argument, never seen by a shell. A detached waiter
    // reaps the opener, which may live as long as the player it starts.
    // The opener and the player it starts get no secret of ours.
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (!IsSecretVariable(*e)) env.push_back(*e);
    env.push_back(nullptr);
    pid_t pid;
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), env.data()) != 0)
        return false;
    std::thread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace tesvano
