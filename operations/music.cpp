#include "operations/music.h"

#include "audio/any_audio.h"
#include "audio/mixer.h"
#include "audio/mp3_decoder.h"
#include "i18n/language_table.h"
#include "operations/reason.h"
#include "platform/file.h"
#include "platform/text.h"

namespace tesvano {

int DecodeBackgroundMusic(IMainWindow& window, const MusicChoice& choice, int rate, PcmBuffer* music) {
    music->clear();
    if (choice.path.empty()) return 0;
    const std::string& path = choice.path;
    CAudioDecodeMp3 decoder(path, rate, 1);
    const int rc = decoder.Decode();
    if (rc == kDecodeFileError) {
        window.MessageBox(DescribeFileError(path, decoder.LastErrno()), u"Tesvano");
        return -1;
    }
    if (rc < 0) {
        window.AppendLog(CLanguageTable::Instance().GetText("MP3_DECODE_FAILED"));
        return -1;
    }
    *music = decoder.TakeOutput();
    // Not MPEG audio: any other format FFmpeg's libraries read.
    if (music->empty()) {
        AnyAudioDecode other = DecodeAnyAudio(path, rate);
        if (other.status != kDecodeOk) {
            window.AppendLog(CLanguageTable::Instance().GetText("MP3_DECODE_FAILED"));
            LogReason(window, other.status == kDecodeFileError ? FileErrorText(path, other.fileError) : other.problem);
            return -1;
        }
        *music = std::move(other.pcm);
    }
    const int len = static_cast<int>(music->size());  // bounded by the decoders' limits
    window.LogFormat("%s%d.\n", GetAnsiText("MP3_DECODE_OK").c_str(), len);
    return 0;
}

bool MixMusic(const MusicChoice& choice, std::span<uint8_t> voice, const PcmBuffer& music, PcmBuffer* joined) {
    if (music.empty()) return false;
    return MixBackgroundMusic(voice, std::span<const uint8_t>(music), choice.mode, choice.volume, joined);
}

void MixMusic(const MusicChoice& choice, PcmBuffer& voice, const PcmBuffer& music) {
    PcmBuffer joined;
    if (MixMusic(choice, std::span<uint8_t>(voice), music, &joined)) voice.swap(joined);
}

}  // namespace tesvano
