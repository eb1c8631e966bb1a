#include "operations/settings.h"

#include <string>

#include "i18n/language_table.h"
#include "platform/text.h"

namespace tesvano {

void OnSelectSaveDir(IMainWindow& w) {
    const std::u16string current = w.GetItemText(IDC_SAVE_DIR);
    const std::u16string title = u"MP3 " + CLanguageTable::Instance().GetText("SAVE_PATH");
    std::u16string chosen;
    if (w.ChooseFolder(title, current, &chosen) && !chosen.empty()) {
        w.SetItemText(IDC_SAVE_DIR, chosen);
    }
}

void OnOpenSaveDir(IMainWindow& w) { w.OpenWithDesktop(w.GetItemText(IDC_SAVE_DIR)); }

void OnOverlayModeChanged(IMainWindow& w) {
    const bool show = w.GetComboSelectionData(IDC_OVERLAY) == kMusicUnderVoice;
    for (int id : {IDC_VOLUME_LABEL, IDC_VOLUME, IDC_VOLUME_VALUE}) w.ShowControl(id, show);
}

void OnVolumeMoved(IMainWindow& w) {
    w.SetItemText(IDC_VOLUME_VALUE, AnsiToWide(std::to_string(w.GetTrackbarPos(IDC_VOLUME))));
}

}  // namespace tesvano
