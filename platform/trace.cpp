#include "platform/trace.h"

#include <atomic>

namespace tesvano {
namespace {

std::atomic<std::FILE*> g_trace{nullptr};

}  // namespace

std::FILE* TraceStream() {
    std::FILE* stream = g_trace.load(std::memory_order_relaxed);
    return stream ? stream : stdout;
}

void SetTraceStream(std::FILE* stream) { g_trace.store(stream, std::memory_order_relaxed); }

}  // namespace tesvano
