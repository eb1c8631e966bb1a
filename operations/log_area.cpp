#include "operations/log_area.h"

#include <cstdarg>
#include <cstdio>

#include "operations/main_window.h"
#include "platform/text.h"

namespace tesvano {

const std::string& LogArea::Append(const std::u16string& text) {
    ++counter_;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%04d: ", counter_);
    lines_.push_back(prefix + WideToAnsi(text));
    while (lines_.size() > kMaxLines) lines_.pop_front();
    return lines_.back();
}

std::u16string LogArea::Text() const {
    std::u16string all;
    for (const auto& line : lines_) {
        all += AnsiToWide(line);
        all += u"\r\n";
    }
    return all;
}

std::string_view LogArea::DisplayLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

std::u16string LogArea::DisplayText() const {
    std::string all;
    for (const auto& line : lines_) {
        if (!all.empty()) all += '\n';
        all += DisplayLine(line);
    }
    return AnsiToWide(all);
}

void IMainWindow::LogFormat(const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    size_t len = n < 0 ? 0 : static_cast<size_t>(n);
    if (len >= sizeof buf) len = Utf8CompleteLength(std::string_view(buf, sizeof buf - 1));
    AppendLog(AnsiToWide(std::string_view(buf, len)));
}

}  // namespace tesvano
