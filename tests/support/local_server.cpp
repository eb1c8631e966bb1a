#include "tests/support/local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tesvano::test {
namespace {

int BindLoopback(int* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind");
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

LocalListener::LocalListener() {
    fd_ = BindLoopback(&port_);
    if (listen(fd_, 8) != 0) throw std::runtime_error("listen");
}

LocalListener::~LocalListener() {
    if (fd_ >= 0) close(fd_);
}

bool LocalListener::Contacted() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

std::string ClosedLocalUrl() {
    // Bound but not listening: connections are refused at once.
    int port = 0;
    static int held = BindLoopback(&port);
    static const int heldPort = port;
    (void)held;
    return "http://127.0.0.1:" + std::to_string(heldPort) + "/";
}

}  // namespace tesvano::test
