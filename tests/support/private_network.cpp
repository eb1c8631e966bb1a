#include "tests/support/private_network.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tesvano::test {

// Loopback up with multicast, and the discovery group routed through it.
std::string EnterPrivateNetwork() {
    static const std::string error = []() -> std::string {
        if (unshare(CLONE_NEWNET) != 0) return std::string("cannot make a network namespace: ") + std::strerror(errno);
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        lo.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING | IFF_MULTICAST;
        rtentry route{};
        auto* dst = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
        dst->sin_family = AF_INET;
        inet_pton(AF_INET, "239.255.255.250", &dst->sin_addr);
        auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
        mask->sin_family = AF_INET;
        mask->sin_addr.s_addr = 0xffffffff;
        char dev[] = "lo";
        route.rt_dev = dev;
        route.rt_flags = RTF_UP | RTF_HOST;
        const bool ok = ioctl(fd, SIOCSIFFLAGS, &lo) == 0 && ioctl(fd, SIOCADDRT, &route) == 0;
        const int saved = errno;
        close(fd);
        return ok ? std::string() : std::string("cannot set up loopback: ") + std::strerror(saved);
    }();
    return error;
}

}  // namespace tesvano::test
