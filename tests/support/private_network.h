// A network namespace of this test process's own, its only interface a
// loopback with multicast, so that discovery probes never leave the machine.
#pragma once

#include <string>

namespace tesvano::test {

// Enters it once per process; "" when in it, else why not (not root).
std::string EnterPrivateNetwork();

}  // namespace tesvano::test

#define ENTER_PRIVATE_NETWORK()                                                                        \
    do {                                                                                               \
        const std::string why = ::tesvano::test::EnterPrivateNetwork();                                \
        if (!why.empty()) GTEST_SKIP() << "discovery tests need root for a network namespace: " << why; \
    } while (0)
