#include "operations/network_check.h"

#include <cstdlib>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sstream>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "i18n/language_table.h"

namespace tesvano {
namespace {

bool InterfaceUp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool up = false;
    for (ifaddrs* i = list; i && !up; i = i->ifa_next) {
        const unsigned flags = i->ifa_flags;
        up = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return up;
}

std::string ReadText(const char* path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool DefaultRoute() {
    return RouteTableHasDefault(ReadText("/proc/net/route")) ||
           Ipv6RouteTableHasDefault(ReadText("/proc/net/ipv6_route"));
}

bool Connect(const std::string& url) {
    std::string host, port;
    if (!SplitHttpUrl(url, &host, &port)) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &res) != 0) return false;
    bool ok = false;
    for (addrinfo* a = res; a && !ok; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        ok = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        close(fd);
    }
    freeaddrinfo(res);
    return ok;
}

}  // namespace

std::string NetworkCheckUrl() {
    const char* env = std::getenv("TESVANO_NETWORK_CHECK_URL");
    return env && *env ? env : kNetworkCheckUrl;
}

NetworkChecks NetworkChecks::System() { return {InterfaceUp, DefaultRoute, Connect}; }

bool SplitHttpUrl(const std::string& url, std::string* host, std::string* port) {
    const std::string scheme = "http://";
    if (url.rfind(scheme, 0) != 0) return false;
    std::string rest = url.substr(scheme.size());
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (rest.empty()) return false;
    *port = "80";
    if (rest.front() == '[') {  // [IPv6]:port
        size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        *host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') return false;
            *port = rest.substr(close + 2);
        }
    } else {
        size_t colon = rest.rfind(':');
        *host = rest.substr(0, colon);
        if (colon != std::string::npos) *port = rest.substr(colon + 1);
    }
    return !host->empty() && !port->empty() && port->find_first_not_of("0123456789") == std::string::npos;
}

// Columns: Iface Destination Gateway Flags ...; a default route has
// destination 00000000, mask 00000000 and the "up" flag.
bool RouteTableHasDefault(const std::string& table) {
    std::istringstream in(table);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string iface, dest, gateway, flags, refcnt, use, metric, mask;
        if (!(f >> iface >> dest >> gateway >> flags >> refcnt >> use >> metric >> mask)) continue;
        if (dest == "00000000" && mask == "00000000" && (std::strtoul(flags.c_str(), nullptr, 16) & 1)) return true;
    }
    return false;
}

// Columns: dest dest_len src src_len next_hop metric refcnt use flags iface;
// a default route has ::/0, is up (0x1) and is not a reject route (0x200).
bool Ipv6RouteTableHasDefault(const std::string& table) {
    std::istringstream in(table);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string dest, destLen, src, srcLen, hop, metric, refcnt, use, flags, iface;
        if (!(f >> dest >> destLen >> src >> srcLen >> hop >> metric >> refcnt >> use >> flags >> iface)) continue;
        if (iface == "lo") continue;
        unsigned long fl = std::strtoul(flags.c_str(), nullptr, 16);
        if (dest == std::string(32, '0') && destLen == "00" && (fl & 1) && !(fl & 0x200)) return true;
    }
    return false;
}

uint32_t NetworkCheckWorker(const std::string& url, const NetworkChecks& checks,
                            const std::function<void(int)>& post) {
    int result = 0;
    if (checks.anyInterfaceUp() && checks.hasDefaultRoute() && checks.canConnect(url)) result = 1;
    post(result);
    return 1;
}

bool StartNetworkCheck(std::string url, NetworkChecks checks, std::function<void(int)> post) {
    try {
        std::thread([url = std::move(url), checks = std::move(checks), post = std::move(post)] {
            NetworkCheckWorker(url, checks, post);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void OnNetworkStatus(IMainWindow& w, int reachable) {
    if (reachable) {
        w.LogFormat("%s", GetAnsiText("NETWORK_CHECK_OK").c_str());
        return;
    }
    auto& t = CLanguageTable::Instance();
    w.LogFormat("%s", GetAnsiText("NETWORK_CHECK_FAILED").c_str());
    w.MessageBox(t.GetText("NETWORK_CHECK_FAILED"), t.GetText("NETWORK_ERROR"));
}

}  // namespace tesvano
