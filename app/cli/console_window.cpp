#include "app/cli/console_window.h"

#include <string_view>

#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {

void ConsoleWindow::ShowProgress(const std::string& text) {
    std::fprintf(err_, "\r\x1b[K%s", text.c_str());
    std::fflush(err_);
    progressShown_ = true;
}

void ConsoleWindow::ClearProgress() {
    if (!progressShown_) return;
    std::fputs("\r\x1b[K", err_);
    std::fflush(err_);
    progressShown_ = false;
}

void ConsoleWindow::AppendLog(const std::u16string& text) {
    ClearProgress();  // a log line never follows the progress on its line
    // One line per entry on a console: a line's own trailing break is not repeated.
    const std::string_view line = LogArea::DisplayLine(log_.Append(text));
    std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(out_);
}

void ConsoleWindow::MessageBox(const std::u16string& text, const std::u16string& caption) {
    ClearProgress();
    ++boxes_;
    std::fprintf(err_, "%s: %s\n", WideToAnsi(caption).c_str(), WideToAnsi(text).c_str());
}

void ConsoleWindow::OpenWithDesktop(const std::u16string& path) {
    if (open_) tesvano::OpenWithDesktop(WideToAnsi(path));
}

}  // namespace tesvano
