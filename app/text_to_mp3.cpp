#include "app/text_to_mp3.h"

#include <string>

#include "app/size_check.h"

#include "audio/mp3_encoder.h"
#include "i18n/language_table.h"
#include "platform/file.h"
#include "platform/text.h"
#include "speech/generate.h"
#include "speech/speech_engine.h"
#include "speech/synthesis.h"

namespace tesvano {

OpResult OnGenerateMp3(IMainWindow& w) {
    int rate;
    std::u16string text;
    PcmBuffer pcm;
    const int result = SynthesizeWindowText(w, &rate, &text, &pcm);
    if (result == 0 || result == kEmptyText) return OpResult::kFailed;  // nothing to log out of
    auto& table = CLanguageTable::Instance();

    OpResult outcome = OpResult::kFailed;
    if (result > 0) {
        const std::u16string path = MakeOutputPath(w, text, u".mp3");
        const std::string narrowPath = WideToAnsi(path);
        CMp3Encoder encoder(rate);
        if (!encoder.Encode(pcm.data(), pcm.size())) {
            w.LogFormat("%s", GetAnsiText("CREATE_MP3_FAILED").c_str());
        } else if (!encoder.SaveToFile(narrowPath)) {
            w.LogFormat("MP3%s", GetAnsiText("FILE_SAVE_FAILED").c_str());
        } else {
            w.LogFormat("MP3%s:%s", GetAnsiText("FILE_SAVE_OK").c_str(), narrowPath.c_str());
            const uint32_t size = GetFileSize32(narrowPath);
            const std::u16string sizeLine =
                u"MP3" + table.GetText("FILE_SIZE") + u":" + AnsiToWide(std::to_string(size)) + u" Bytes.";
            w.AppendLog(sizeLine);
            outcome = OpResult::kDone;
            if (WarnIfOverCameraLimit(w, sizeLine, size)) outcome = OpResult::kOverLimit;
            w.OpenWithDesktop(path);
        }
    }
    CurrentSpeechEngine().MSPLogout();
    return outcome;
}

}  // namespace tesvano
