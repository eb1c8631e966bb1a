#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "operations/network_check.h"
#include "i18n/language_table.h"
#include "platform/text.h"
#include "tests/support/local_server.h"
#include "tests/support/memory_window.h"

namespace tesvano {
namespace {

TEST(NetworkCheck, ChecksRunInOrderAndStopAtTheFirstFailure) {
    struct Case {
        bool iface, route, connect;
        int result;
        int calls;  // how many checks ran
    } cases[] = {
        {false, true, true, 0, 1},
        {true, false, true, 0, 2},
        {true, true, false, 0, 3},
        {true, true, true, 1, 3},
    };
    for (const auto& c : cases) {
        int calls = 0;
        std::string seenUrl;
        NetworkChecks checks{[&] { ++calls; return c.iface; }, [&] { ++calls; return c.route; },
                             [&](const std::string& url) {
                                 ++calls;
                                 seenUrl = url;
                                 return c.connect;
                             }};
        int posted = -1;
        EXPECT_EQ(NetworkCheckWorker("http://example.test/", checks, [&](int r) { posted = r; }), 1u);
        EXPECT_EQ(posted, c.result);
        EXPECT_EQ(calls, c.calls);
        if (c.calls == 3) {
            EXPECT_EQ(seenUrl, "http://example.test/");
        }
    }
}

TEST(NetworkCheck, ConnectsToALocalAddressOnly) {
    test::LocalListener listener;
    auto connect = NetworkChecks::System().canConnect;
    EXPECT_TRUE(connect(listener.url()));
    EXPECT_FALSE(connect(test::ClosedLocalUrl()));
    EXPECT_FALSE(connect("https://127.0.0.1/"));  // only plain http
}

TEST(NetworkCheck, UrlSplitting) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        const char* port;
    } cases[] = {
        {"http://www.debian.org/", true, "www.debian.org", "80"},
        {"http://127.0.0.1:8080/x?y", true, "127.0.0.1", "8080"},
        {"http://[::1]:81/", true, "::1", "81"},
        {"http://host", true, "host", "80"},
        {"http://:80/", false, "", ""},
        {"http://h:8x/", false, "", ""},
        {"ftp://h/", false, "", ""},
    };
    for (const auto& c : cases) {
        std::string host, port;
        EXPECT_EQ(SplitHttpUrl(c.url, &host, &port), c.ok) << c.url;
        if (c.ok) {
            EXPECT_EQ(host, c.host);
            EXPECT_EQ(port, c.port);
        }
    }
}

TEST(NetworkCheck, RouteTables) {
    const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    EXPECT_TRUE(RouteTableHasDefault(header + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"));
    EXPECT_FALSE(RouteTableHasDefault(header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"));
    EXPECT_FALSE(RouteTableHasDefault(header + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"));
    EXPECT_FALSE(RouteTableHasDefault(""));
    const std::string zero(32, '0');
    EXPECT_TRUE(Ipv6RouteTableHasDefault(zero + " 00 " + zero + " 00 fe800000000000000000000000000001 00000400 "
                                                "00000001 00000000 00000003 eth0\n"));
    EXPECT_FALSE(Ipv6RouteTableHasDefault(zero + " 00 " + zero + " 00 " + zero +
                                          " ffffffff 00000001 00000000 00200200 lo\n"));
    EXPECT_FALSE(Ipv6RouteTableHasDefault("garbage\n"));
}

TEST(NetworkCheck, ResultLinesAndMessageBox) {
    auto& t = CLanguageTable::Instance();
    test::MemoryWindow ok;
    OnNetworkStatus(ok, 1);
    EXPECT_EQ(ok.logTexts, std::vector<std::u16string>{t.GetText("NETWORK_CHECK_OK")});
    EXPECT_TRUE(ok.boxes.empty());

    test::MemoryWindow failed;
    OnNetworkStatus(failed, 0);
    EXPECT_EQ(failed.logTexts, std::vector<std::u16string>{t.GetText("NETWORK_CHECK_FAILED")});
    ASSERT_EQ(failed.boxes.size(), 1u);
    EXPECT_EQ(failed.boxes[0].text, t.GetText("NETWORK_CHECK_FAILED"));
    EXPECT_EQ(failed.boxes[0].caption, t.GetText("NETWORK_ERROR"));
}

TEST(NetworkCheck, WorkerThreadPostsOnce) {
    test::LocalListener listener;
    std::atomic<int> posted{-1};
    std::atomic<int> count{0};
    NetworkChecks checks = NetworkChecks::System();
    checks.anyInterfaceUp = [] { return true; };
    checks.hasDefaultRoute = [] { return true; };
    ASSERT_TRUE(StartNetworkCheck(listener.url(), checks, [&](int r) {
        posted = r;
        ++count;
    }));
    for (int i = 0; i < 500 && count == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(posted.load(), 1);
    EXPECT_EQ(count.load(), 1);
}

}  // namespace
}  // namespace tesvano
