#include "tests/support/memory_window.h"

namespace tesvano::test {

MemoryWindow::MemoryWindow() {
    for (int id = IDC_TEXT; id <= IDC_MP3_TO_WAV; ++id) controls_[id];
}

MemoryWindow::Control* MemoryWindow::control(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

void MemoryWindow::SetItemText(int id, const std::u16string& text) {
    if (auto* c = control(id)) c->text = text;
}

std::u16string MemoryWindow::GetItemText(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? std::u16string() : it->second.text;
}

void MemoryWindow::AddComboItem(int id, const std::u16string& text, int32_t data, bool select) {
    auto* c = control(id);
    if (!c) return;
    c->items.emplace_back(text, data);
    if (select) c->selection = static_cast<int>(c->items.size()) - 1;
}

int MemoryWindow::GetComboSelectionData(int id) const {
    auto it = controls_.find(id);
    if (it == controls_.end() || it->second.selection < 0) return 0;
    return it->second.items[static_cast<size_t>(it->second.selection)].second;
}

bool MemoryWindow::GetComboSelectionText(int id, std::u16string* text) const {
    auto it = controls_.find(id);
    if (it == controls_.end() || it->second.selection < 0) return false;
    *text = it->second.items[static_cast<size_t>(it->second.selection)].first;
    return true;
}

int MemoryWindow::GetTrackbarPos(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? 0 : it->second.position;
}

void MemoryWindow::ShowControl(int id, bool show) {
    if (auto* c = control(id)) c->visible = show;
}

void MemoryWindow::AppendLog(const std::u16string& text) {
    logTexts.push_back(text);
    log.Append(text);
    SetItemText(IDC_LOG, log.Text());
}

void MemoryWindow::MessageBox(const std::u16string& text, const std::u16string& caption) {
    boxes.push_back({text, caption});
}

bool MemoryWindow::ChooseFile(const std::u16string& title, const std::u16string&, std::u16string* path) {
    dialogTitles.push_back(title);
    if (fileAnswers.empty() || fileAnswers.front().empty()) {
        if (!fileAnswers.empty()) fileAnswers.pop_front();
        return false;
    }
    *path = fileAnswers.front().front();
    fileAnswers.pop_front();
    return true;
}

bool MemoryWindow::ChooseFiles(const std::u16string& title, const std::u16string&,
                               std::vector<std::u16string>* paths) {
    dialogTitles.push_back(title);
    if (fileAnswers.empty()) return false;
    *paths = fileAnswers.front();
    fileAnswers.pop_front();
    return !paths->empty();
}

bool MemoryWindow::ChooseFolder(const std::u16string& title, const std::u16string&, std::u16string* path) {
    dialogTitles.push_back(title);
    if (folderAnswers.empty()) return false;
    *path = folderAnswers.front();
    folderAnswers.pop_front();
    return !path->empty();
}

void MemoryWindow::Select(int id, int index) {
    if (auto* c = control(id)) c->selection = index;
}

void MemoryWindow::SetTrackbarPos(int id, int pos) {
    if (auto* c = control(id)) c->position = pos;
}

bool MemoryWindow::IsVisible(int id) const {
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.visible;
}

}  // namespace tesvano::test
