#include "tests/support/temp_dir.h"

#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tesvano::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tesvano-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // A test may have taken write permission away; give it back first.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        if (e.is_directory(ec)) std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

int RunProgram(const std::vector<std::string>& argv, std::string* out, std::string* err) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipefd[2];
    if (pipe(pipefd) != 0) return -1;
    // Standard error into a file: two pipes would need polling both.
    std::string errPath = (std::filesystem::temp_directory_path() / "tesvano-stderr-XXXXXX").string();
    if (err) {
        const int fd = mkstemp(errPath.data());
        if (fd < 0) return -1;
        close(fd);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, err ? errPath.c_str() : "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (rc != 0) {
        close(pipefd[0]);
        if (err) std::remove(errPath.c_str());
        return -1;
    }
    std::string collected;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) collected.append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (out) *out = std::move(collected);
    if (err) {
        const auto bytes = ReadFileBytes(errPath);
        err->assign(bytes.begin(), bytes.end());
        std::remove(errPath.c_str());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ProgramExists(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string p = path;
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        std::string candidate = p.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace tesvano::test
