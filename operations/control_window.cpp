#include "operations/control_window.h"

namespace tesvano {

ControlWindow::ControlWindow() {
    for (int id = IDC_TEXT; id <= IDC_PLAY_ON_CAMERA; ++id) controls_[id];
}

ControlWindow::Control* ControlWindow::control(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

const ControlWindow::Control* ControlWindow::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

bool ControlWindow::IsChecked(int id) const {
    const auto* c = control(id);
    return c && c->checked;
}

void ControlWindow::SetChecked(int id, bool checked) {
    if (auto* c = control(id)) c->checked = checked;
}

void ControlWindow::SetItemText(int id, const std::u16string& text) {
    if (auto* c = control(id)) c->text = text;
}

std::u16string ControlWindow::GetItemText(int id) const {
    const auto* c = control(id);
    return c ? c->text : std::u16string();
}

void ControlWindow::AddComboItem(int id, const std::u16string& text, int32_t data, bool select) {
    auto* c = control(id);
    if (!c) return;
    c->items.emplace_back(text, data);
    if (select) c->selection = static_cast<int>(c->items.size()) - 1;
}

int ControlWindow::GetComboSelectionData(int id) const {
    const auto* c = control(id);
    if (!c || c->selection < 0) return 0;
    return c->items[static_cast<size_t>(c->selection)].second;
}

bool ControlWindow::GetComboSelectionText(int id, std::u16string* text) const {
    const auto* c = control(id);
    if (!c || c->selection < 0) return false;
    *text = c->items[static_cast<size_t>(c->selection)].first;
    return true;
}

int ControlWindow::GetTrackbarPos(int id) const {
    const auto* c = control(id);
    return c ? c->position : 0;
}

void ControlWindow::ShowControl(int id, bool show) {
    if (auto* c = control(id)) c->visible = show;
}

bool ControlWindow::Select(int id, int index) {
    auto* c = control(id);
    if (!c || index < -1 || index >= static_cast<int>(c->items.size())) return false;
    c->selection = index;
    return true;
}

void ControlWindow::SetTrackbarRange(int id, int min, int max) {
    if (auto* c = control(id)) {
        c->minimum = min;
        c->maximum = max;
    }
}

// Clamped to the range, as a trackbar does.
void ControlWindow::SetTrackbarPos(int id, int pos) {
    if (auto* c = control(id)) c->position = pos < c->minimum ? c->minimum : pos > c->maximum ? c->maximum : pos;
}

bool ControlWindow::IsVisible(int id) const {
    const auto* c = control(id);
    return c && c->visible;
}

}  // namespace tesvano
