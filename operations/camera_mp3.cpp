#include "operations/camera_mp3.h"

#include <cerrno>

#include "audio/mp3_encoder.h"
#include "i18n/language_table.h"
#include "operations/reason.h"
#include "operations/size_check.h"
#include "platform/file.h"
#include "platform/text.h"

namespace tesvano {

OpResult SaveCameraMp3(IMainWindow& w, int rate, std::span<const uint8_t> pcm, const std::string& path) {
    CMp3Encoder encoder(rate);
    if (!encoder.Encode(pcm.data(), pcm.size())) {
        w.LogFormat("%s", GetAnsiText("CREATE_MP3_FAILED").c_str());
        return OpResult::kFailed;
    }
    errno = 0;
    if (!encoder.SaveToFile(path)) {
        const int error = errno;
        w.LogFormat("MP3%s", GetAnsiText("FILE_SAVE_FAILED").c_str());
        LogReason(w, FileErrorText(path, error));
        return OpResult::kFailed;
    }
    w.LogFormat("MP3%s:%s", GetAnsiText("FILE_SAVE_OK").c_str(), path.c_str());
    w.lastClip() = path;
    const uint32_t size = GetFileSize32(path);
    const std::u16string sizeLine = u"MP3" + CLanguageTable::Instance().GetText("FILE_SIZE") + u":" +
                                    AnsiToWide(std::to_string(size)) + u" Bytes.";
    w.AppendLog(sizeLine);
    const bool over = WarnIfOverCameraLimit(w, sizeLine, size);
    w.OpenWithDesktop(AnsiToWide(path));
    return over ? OpResult::kOverLimit : OpResult::kDone;
}

}  // namespace tesvano
