// A window whose controls are plain values kept by ID: the console front end
// and the tests use it; the Qt window keeps real widgets instead.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "operations/main_window.h"

namespace tesvano {

class ControlWindow : public IMainWindow {
public:
    struct Control {
        std::u16string text;
        std::vector<std::pair<std::u16string, int32_t>> items;
        int selection = -1;
        int position = 0;
        int minimum = 0, maximum = 100;
        bool visible = true;
        bool checked = false;
    };

    // Every control of the main window exists, empty.
    ControlWindow();

    void SetItemText(int id, const std::u16string& text) override;
    std::u16string GetItemText(int id) const override;
    void AddComboItem(int id, const std::u16string& text, int32_t data, bool select) override;
    int GetComboSelectionData(int id) const override;
    bool GetComboSelectionText(int id, std::u16string* text) const override;
    bool HasControl(int id) const override { return controls_.count(id) != 0; }
    int GetTrackbarPos(int id) const override;
    void ShowControl(int id, bool show) override;
    void SetTrackbarRange(int id, int min, int max) override;
    void SetTrackbarPos(int id, int pos) override;
    bool IsChecked(int id) const override;
    // No dialog here: the console sets the source with its own command.
    bool EditCameraSource(CameraSourceParts*) override { return false; }
    void SetChecked(int id, bool checked) override;

    void RemoveControl(int id) { controls_.erase(id); }
    // Selects entry `index` of a list (-1: nothing); false when out of range.
    bool Select(int id, int index);
    bool IsVisible(int id) const;
    Control* control(int id);
    const Control* control(int id) const;

private:
    std::map<int, Control> controls_;
};

}  // namespace tesvano
