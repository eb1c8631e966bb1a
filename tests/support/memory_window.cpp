#include "tests/support/memory_window.h"

#include "operations/camera_settings.h"

#include "platform/text.h"

namespace tesvano::test {

void MemoryWindow::AppendLog(const std::u16string& text) {
    logTexts.push_back(text);
    log.Append(text);
    SetItemText(IDC_LOG, log.Text());
}

void MemoryWindow::SetUpControls(const std::string& saveDir, const std::u16string& text) {
    AddComboItem(IDC_VOICE, u"v", 0, true);
    AddComboItem(IDC_MUSIC, u"none", 0, true);
    AddComboItem(IDC_MUSIC, u"doorbell.mp3", 1, false);
    for (int m = 0; m < 4; ++m) AddComboItem(IDC_OVERLAY, u"m", m, m == 0);
    AddComboItem(IDC_RATE, u"8000", 8000, false);
    AddComboItem(IDC_RATE, u"16000", 16000, true);
    SetTrackbarPos(IDC_VOLUME, 50);
    SetItemText(IDC_SAVE_DIR, AnsiToWide(saveDir));
    SetItemText(IDC_TEXT, text);
}

void MemoryWindow::MessageBox(const std::u16string& text, const std::u16string& caption) {
    boxes.push_back({text, caption});
}

bool MemoryWindow::ChooseFile(const std::u16string& title, const std::u16string&, std::u16string* path) {
    dialogTitles.push_back(title);
    if (fileAnswers.empty()) return false;
    auto answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    if (answer.empty()) return false;
    *path = answer.front();
    return true;
}

bool MemoryWindow::ChooseFiles(const std::u16string& title, const std::u16string&,
                               std::vector<std::u16string>* paths) {
    dialogTitles.push_back(title);
    if (fileAnswers.empty()) return false;
    *paths = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return !paths->empty();
}

bool MemoryWindow::ChooseFolder(const std::u16string& title, const std::u16string& start, std::u16string* path) {
    dialogTitles.push_back(title);
    folderStarts.push_back(start);
    if (folderAnswers.empty()) return false;
    *path = std::move(folderAnswers.front());
    folderAnswers.pop_front();
    return !path->empty();
}

bool MemoryWindow::EditCameraSource(CameraSourceParts* parts) {
    cameraShown.push_back(parts->address + "|" + parts->user + "|" + parts->password);
    if (cameraAnswers.empty()) return false;
    const auto answer = cameraAnswers.front();
    cameraAnswers.pop_front();
    if (answer.size() != 3) return false;
    *parts = {answer[0], answer[1], answer[2]};
    return true;
}

}  // namespace tesvano::test
