#include "operations/music.h"

#include "audio/any_audio.h"
#include "audio/mixer.h"
#include "audio/mp3_decoder.h"
#include "i18n/language_table.h"
#include "operations/reason.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {

int DecodeBackgroundMusic(IMainWindow& window, int rate, PcmBuffer* music) {
    music->clear();
    // Item data 0 is the entry for no music; files are numbered from 1.
    if (!window.HasControl(IDC_MUSIC) || window.GetComboSelectionData(IDC_MUSIC) < 1) return 0;
    std::u16string entry;
    if (!window.GetComboSelectionText(IDC_MUSIC, &entry)) return 0;

    // The listed files are beside the program; an entry that is a whole path
    // (the console's own music) is taken as it is.
    const std::string name = WideToAnsi(entry);
    const std::string path = name.starts_with('/') ? name : GetProgramDirectory() + "/" + name;
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

bool MixMusicFromWindow(IMainWindow& w, std::span<uint8_t> voice, const PcmBuffer& music, PcmBuffer* joined) {
    if (music.empty()) return false;
    const int volume = w.HasControl(IDC_VOLUME) ? w.GetTrackbarPos(IDC_VOLUME) : 0;
    // The overlay list's item data are the mixer's modes.
    const auto mode = static_cast<MixMode>(w.GetComboSelectionData(IDC_OVERLAY));
    return MixBackgroundMusic(voice, std::span<const uint8_t>(music), mode, volume, joined);
}

void MixMusicFromWindow(IMainWindow& w, PcmBuffer& voice, const PcmBuffer& music) {
    PcmBuffer joined;
    if (MixMusicFromWindow(w, std::span<uint8_t>(voice), music, &joined)) voice.swap(joined);
}

}  // namespace tesvano
