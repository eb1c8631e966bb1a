#include "operations/buttons.h"

#include "operations/camera_settings.h"
#include "operations/convert.h"
#include "operations/fit.h"
#include "operations/generate.h"
#include "operations/play.h"
#include "operations/record.h"
#include "operations/settings.h"

namespace tesvano {

bool RunButton(IMainWindow& w, int id, OpResult* result) {
    OpResult r = OpResult::kDone;
    switch (id) {
    case IDC_SELECT_DIR:
        OnSelectSaveDir(w);
        break;
    case IDC_OPEN_DIR:
        OnOpenSaveDir(w);
        break;
    case IDC_GENERATE_MP3:
        r = w.IsChecked(IDC_FIT) ? OnGenerateMp3Fitted(w) : OnGenerateMp3(w);
        break;
    case IDC_GENERATE_PCM:
        r = OnGeneratePcm(w);
        break;
    case IDC_GENERATE_WAV:
        r = OnGenerateWav(w);
        break;
    case IDC_CONVERT:
        r = OnConvertMp3(w);
        break;
    case IDC_MP3_TO_WAV:
        r = OnMp3ToWav(w);
        break;
    case IDC_BATCH_CONVERT:
        r = OnBatchConvert(w);
        break;
    case IDC_CAMERA:
        r = OnCameraSettings(w);
        break;
    case IDC_RECORD:
        r = OnRecord(w);
        break;
    case IDC_PLAY_ON_CAMERA:
        r = OnPlayOnCamera(w);
        break;
    default:
        return false;
    }
    if (result) *result = r;
    return true;
}

}  // namespace tesvano
