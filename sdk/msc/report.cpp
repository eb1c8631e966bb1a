#include "sdk/msc/report.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace msc {
namespace {

std::atomic<void (*)(const char*)> g_sink{nullptr};
std::mutex g_mutex;
std::string g_pending;  // reported, not yet taken
constexpr size_t kMaxPending = 4096;

}  // namespace

void Report(const std::string& line) {
    if (auto sink = g_sink.load()) {
        sink(line.c_str());
        return;
    }
    std::fprintf(stderr, "libmsc: %s\n", line.c_str());
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_pending.empty()) g_pending += "; ";
    g_pending += line;
    if (g_pending.size() > kMaxPending) g_pending.erase(0, g_pending.size() - kMaxPending);
}

std::string TakeReports() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::string taken;
    taken.swap(g_pending);
    return taken;
}

void SetReportSink(void (*sink)(const char* line)) { g_sink = sink; }

}  // namespace msc
