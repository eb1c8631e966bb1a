// The main window for the console: log lines go to standard output, message
// boxes to standard error; the commands hand their values over in requests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "operations/control_window.h"
#include "operations/log_area.h"

namespace tesvano {

class ConsoleWindow : public ControlWindow {
public:
    ConsoleWindow(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    void AppendLog(const std::u16string& text) override;
    void MessageBox(const std::u16string& text, const std::u16string& caption) override;
    // No dialogs on a console: files and folders come from the command line.
    bool ChooseFile(const std::u16string&, const std::u16string&, std::u16string*) override { return false; }
    bool ChooseFiles(const std::u16string&, const std::u16string&, std::vector<std::u16string>*) override {
        return false;
    }
    bool ChooseFolder(const std::u16string&, const std::u16string&, std::u16string*) override { return false; }
    void OpenWithDesktop(const std::u16string& path) override;

    void set_open_with_desktop(bool open) { open_ = open; }
    // A progress line on standard error ("3/8 files"), replaced by the next
    // one and cleared before any other output, so no line ever follows it.
    void ShowProgress(const std::string& text);
    void ClearProgress();
    int message_boxes() const { return boxes_; }

private:
    std::FILE* out_;
    std::FILE* err_;
    LogArea log_;
    bool open_ = false;
    int boxes_ = 0;
    bool progressShown_ = false;
};

}  // namespace tesvano
