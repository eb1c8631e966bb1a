#include "tests/support/servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace tesvano::test {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) close(fd);
        return 0;
    }
    close(fd);
    return ntohs(addr.sin_port);
}

// Looks for the port in LISTEN state without connecting, since ffmpeg's
// -listen 1 serves exactly one connection.
bool WaitListening(int port, std::chrono::milliseconds within) {
    char wanted[16];
    snprintf(wanted, sizeof wanted, ":%04X", port);
    for (auto end = Clock::now() + within; Clock::now() < end; std::this_thread::sleep_for(50ms)) {
        std::ifstream tcp("/proc/net/tcp");
        std::string line;
        std::getline(tcp, line);
        while (std::getline(tcp, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == wanted) return true;
        }
    }
    return false;
}

// Frequency from rising zero crossings (with hysteresis against noise).
double ToneHz(const int16_t* s, size_t n, int rate) {
    int state = 0;
    long crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] > 300) {
            if (state < 0) {
                if (crossings++ == 0) first = i;
                last = i;
            }
            state = 1;
        } else if (s[i] < -300) {
            state = -1;
        }
    }
    if (crossings < 2) return 0;
    return double(crossings - 1) * rate / double(last - first);
}

}  // namespace tesvano::test
