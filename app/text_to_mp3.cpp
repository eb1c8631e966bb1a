#include "app/text_to_mp3.h"

#include <string>

#include "app/size_check.h"

#include "audio/mp3_encoder.h"
#include "i18n/language_table.h"
#include "platform/file.h"
#include "platform/text.h"
#include "speech/generate.h"

namespace tesvano {

namespace {

OpResult EncodeAndSave(IMainWindow& w, int rate, const std::u16string& text, const PcmBuffer& pcm) {
    const std::u16string path = MakeOutputPath(w, text, u".mp3");
    const std::string narrowPath = WideToAnsi(path);
    CMp3Encoder encoder(rate);
    if (!encoder.Encode(pcm.data(), pcm.size())) {
        w.LogFormat("%s", GetAnsiText("CREATE_MP3_FAILED").c_str());
        return OpResult::kFailed;
    }
    if (!encoder.SaveToFile(narrowPath)) {
        w.LogFormat("MP3%s", GetAnsiText("FILE_SAVE_FAILED").c_str());
        return OpResult::kFailed;
    }
    w.LogFormat("MP3%s:%s", GetAnsiText("FILE_SAVE_OK").c_str(), narrowPath.c_str());
    const uint32_t size = GetFileSize32(narrowPath);
    const std::u16string sizeLine = u"MP3" + CLanguageTable::Instance().GetText("FILE_SIZE") + u":" +
                                    AnsiToWide(std::to_string(size)) + u" Bytes.";
    w.AppendLog(sizeLine);
    const bool over = WarnIfOverCameraLimit(w, sizeLine, size);
    w.OpenWithDesktop(path);
    return over ? OpResult::kOverLimit : OpResult::kDone;
}

}  // namespace

OpResult OnGenerateMp3(IMainWindow& w) {
    return GenerateWith(w, [&w](int rate, const std::u16string& text, const PcmBuffer& pcm) {
        return EncodeAndSave(w, rate, text, pcm);
    });
}

}  // namespace tesvano
