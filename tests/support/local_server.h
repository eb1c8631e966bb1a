// A TCP listener on 127.0.0.1 for tests that need a reachable address, and
// a port that is certainly closed for tests that need an unreachable one.
#pragma once

#include <string>

namespace tesvano::test {

class LocalListener {
public:
    LocalListener();  // listens on an ephemeral loopback port
    ~LocalListener();
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;
    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    // Whether a connection is waiting to be accepted: someone contacted it.
    bool Contacted() const;

private:
    int fd_ = -1;
    int port_ = 0;
};

// An http URL on loopback whose port nobody listens on.
std::string ClosedLocalUrl();

}  // namespace tesvano::test
