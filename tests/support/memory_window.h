// The main window held in memory: controls as a map, dialogs answered by the
// test, message boxes and opened files recorded. Operations run on it
// exactly as on the Qt window.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/log_area.h"
#include "app/main_window.h"

namespace tesvano::test {

class MemoryWindow : public IMainWindow {
public:
    struct Control {
        std::u16string text;
        std::vector<std::pair<std::u16string, int32_t>> items;
        int selection = -1;
        int position = 0;
        bool visible = true;
    };
    struct Box {
        std::u16string text, caption;
    };

    // All controls of the main window exist, empty.
    MemoryWindow();

    void SetItemText(int id, const std::u16string& text) override;
    std::u16string GetItemText(int id) const override;
    void AddComboItem(int id, const std::u16string& text, int32_t data, bool select) override;
    int GetComboSelectionData(int id) const override;
    bool GetComboSelectionText(int id, std::u16string* text) const override;
    bool HasControl(int id) const override { return controls_.count(id) != 0; }
    int GetTrackbarPos(int id) const override;
    void ShowControl(int id, bool show) override;
    void AppendLog(const std::u16string& text) override;
    void MessageBox(const std::u16string& text, const std::u16string& caption) override;
    bool ChooseFile(const std::u16string& title, const std::u16string& filter, std::u16string* path) override;
    bool ChooseFiles(const std::u16string& title, const std::u16string& filter,
                     std::vector<std::u16string>* paths) override;
    bool ChooseFolder(const std::u16string& title, const std::u16string& start, std::u16string* path) override;
    void OpenWithDesktop(const std::u16string& path) override { opened.push_back(path); }

    // Test controls.
    void RemoveControl(int id) { controls_.erase(id); }
    void Select(int id, int index);
    void SetTrackbarPos(int id, int pos);
    bool IsVisible(int id) const;
    Control* control(int id);

    // Log lines without their numbers, in order (all of them, not just 100).
    std::vector<std::u16string> logTexts;
    LogArea log;
    std::vector<Box> boxes;
    std::vector<std::u16string> opened;
    // Dialog answers, taken in order; an empty queue means "cancelled".
    std::deque<std::vector<std::u16string>> fileAnswers;
    std::deque<std::u16string> folderAnswers;
    std::vector<std::u16string> dialogTitles;

private:
    std::map<int, Control> controls_;
};

}  // namespace tesvano::test
