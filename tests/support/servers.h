// Servers and programs the tests start on loopback, and what they measure
// in the audio that comes back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tesvano::test {

// The program's full path on PATH; "" when there is none.
std::string FindProgram(const std::string& name);
// A loopback TCP port that was free a moment ago.
int FreeLoopbackPort();
// Whether something listens on the loopback port, without connecting.
bool WaitListening(int port, std::chrono::milliseconds within);
// Frequency of a tone from rising zero crossings (with hysteresis).
double ToneHz(const int16_t* samples, size_t n, int rate);

// A server the test started; killed when it goes, whatever the test's outcome.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(devnull, 0);
            dup2(fds[1], 1);
            dup2(devnull, 2);
            execv(args[0], args.data());
            _exit(127);
        }
        close(devnull);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        Kill();
        if (out_ >= 0) close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // The first line the child prints, within the time given.
    bool ReadLine(std::string* line, std::chrono::milliseconds within) {
        auto end = std::chrono::steady_clock::now() + within;
        line->clear();
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            if (poll(&p, 1, std::max(left, 1)) <= 0) continue;
            char c;
            ssize_t n = read(out_, &c, 1);
            if (n <= 0) return false;
            if (c == '\n') return true;
            *line += c;
        }
        return false;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace tesvano::test
