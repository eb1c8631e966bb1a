#include "app/operations.h"

#include "app/settings_controls.h"

namespace tesvano {

bool RunButton(IMainWindow& w, int id) {
    switch (id) {
    case IDC_SELECT_DIR:
        OnSelectSaveDir(w);
        return true;
    case IDC_OPEN_DIR:
        OnOpenSaveDir(w);
        return true;
    case IDC_GENERATE_MP3:
    case IDC_GENERATE_PCM:
    case IDC_GENERATE_WAV:
    case IDC_CONVERT:
    case IDC_BATCH_CONVERT:
    case IDC_MP3_TO_WAV:
    case IDC_RECORD:
        return true;  // operations not yet available do nothing
    default:
        return false;
    }
}

}  // namespace tesvano
