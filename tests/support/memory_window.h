// The main window held in memory: controls as values, dialogs answered by the
// test, message boxes and opened files recorded. Operations run on it
// exactly as on the Qt window.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "operations/control_window.h"
#include "operations/log_area.h"

namespace tesvano::test {

class MemoryWindow : public ControlWindow {
public:
    struct Box {
        std::u16string text, caption;
    };

    void AppendLog(const std::u16string& text) override;
    void MessageBox(const std::u16string& text, const std::u16string& caption) override;
    bool ChooseFile(const std::u16string& title, const std::u16string& filter, std::u16string* path) override;
    bool ChooseFiles(const std::u16string& title, const std::u16string& filter,
                     std::vector<std::u16string>* paths) override;
    bool ChooseFolder(const std::u16string& title, const std::u16string& start, std::u16string* path) override;
    void OpenWithDesktop(const std::u16string& path) override { opened.push_back(path); }
    bool EditCameraSource(CameraSourceParts* parts) override;

    // The controls the operations read, as at start-up: one voice, music
    // "none" (selected) and "doorbell.mp3", overlay modes 0-3, 8000 and 16000
    // Hz (16000 selected), volume 50, the save folder and the text.
    void SetUpControls(const std::string& saveDir, const std::u16string& text);

    // Log lines without their numbers, in order (all of them, not just 100).
    std::vector<std::u16string> logTexts;
    LogArea log;
    std::vector<Box> boxes;
    std::vector<std::u16string> opened;
    // Dialog answers, taken in order; an empty answer or queue means "cancelled".
    std::deque<std::vector<std::u16string>> fileAnswers;
    std::deque<std::u16string> folderAnswers;
    std::vector<std::u16string> dialogTitles;
    std::vector<std::u16string> folderStarts;
    // The camera dialog: what it was shown, and what the operator saves
    // (nothing queued: closed without saving).
    std::vector<std::string> cameraShown;  // "address|user|password"
    std::deque<std::vector<std::string>> cameraAnswers;  // {address, user, password}
};

}  // namespace tesvano::test
