// The once-per-start check whether the Internet is reachable, run on a
// worker thread that posts its result back to the window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "operations/main_window.h"

namespace tesvano {

// A well-known public home page over plain http. TESVANO_NETWORK_CHECK_URL
// replaces it (tests and offline demos point it at a local address).
inline constexpr char kNetworkCheckUrl[] = "http://www.debian.org/";
std::string NetworkCheckUrl();

struct NetworkChecks {
    std::function<bool()> anyInterfaceUp;       // an interface other than loopback is up and running
    std::function<bool()> hasDefaultRoute;      // IPv4 or IPv6 default route
    std::function<bool(const std::string&)> canConnect;  // TCP connection to the URL's host and port
    static NetworkChecks System();
};

// Runs the three checks in order, each only when the one before succeeded,
// then posts 1 (reachable) or 0. Returns the thread exit code, always 1.
uint32_t NetworkCheckWorker(const std::string& url, const NetworkChecks& checks,
                            const std::function<void(int)>& post);

// Starts the worker on a detached thread; false when the thread could not be created.
bool StartNetworkCheck(std::string url, NetworkChecks checks, std::function<void(int)> post);

// The window's handler of the posted result.
void OnNetworkStatus(IMainWindow& window, int reachable);

// Pieces of the system checks, separate so they can be tested on sample data.
bool SplitHttpUrl(const std::string& url, std::string* host, std::string* port);
bool RouteTableHasDefault(const std::string& procNetRoute);
bool Ipv6RouteTableHasDefault(const std::string& procNetIpv6Route);

}  // namespace tesvano
