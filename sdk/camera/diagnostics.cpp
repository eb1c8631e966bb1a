#include "sdk/camera/diagnostics.h"

#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <string_view>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "sdk/camera/source.h"
#include "sdk/printable.h"

namespace camera {
namespace {

void WriteStderr(const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // standard error is gone: nowhere left to report to
        done += size_t(n);
    }
}

void FfmpegLog(void* avcl, int level, const char* fmt, va_list vl) {
    if (level > av_log_get_level()) return;
    thread_local int printPrefix = 1;
    char line[1024];
    va_list copy;
    va_copy(copy, vl);
    av_log_format_line2(avcl, level, fmt, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    // A camera's or server's reason line comes through here as it sent it.
    std::string_view text(line);
    const bool ends = !text.empty() && text.back() == '\n';
    if (ends) text.remove_suffix(1);
    WriteStderr(sdk::Printable(MaskPasswords(text)) + (ends ? "\n" : ""));
}

std::mutex g_lastMutex;
std::string g_last;  // the last line Diagnose wrote

}  // namespace

void Diagnose(const std::string& text) {
    const std::string shown = sdk::Printable(MaskPasswords(text));
    {
        std::lock_guard<std::mutex> lock(g_lastMutex);
        g_last = shown;
    }
    WriteStderr("camera: " + shown + "\n");
}

std::string LastDiagnosis() {
    std::lock_guard<std::mutex> lock(g_lastMutex);
    return g_last;
}

void InstallFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(FfmpegLog);
    });
}

}  // namespace camera
