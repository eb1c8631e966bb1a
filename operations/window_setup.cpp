#include "operations/window_setup.h"

#include <algorithm>
#include <dirent.h>

#include "operations/settings.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/voice_table.h"

namespace tesvano {
namespace {

bool EndsWithMp3(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".mp3";
}

}  // namespace

std::u16string MakeCaption() {
    auto& t = CLanguageTable::Instance();
    return t.GetText("TITLE") + u" " + AnsiToWide(kVersion) + u" " + t.GetText("AUTHOR");
}

std::vector<std::u16string> ListMusicFiles(const std::u16string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(WideToAnsi(dir).c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != ".." && EndsWithMp3(name)) names.push_back(std::move(name));
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::u16string> out;
    out.reserve(names.size());
    for (const auto& n : names) out.push_back(AnsiToWide(n));
    return out;
}

void FillControls(IMainWindow& w) {
    auto& t = CLanguageTable::Instance();

    const bool chinese = t.GetLanguageCode() == u"zh-cn";
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const auto& v = kVoiceTable[i];
        w.AddComboItem(IDC_VOICE, AnsiToWide(chinese ? v.chineseName : v.englishName), static_cast<int32_t>(i),
                       i == 0);
    }

    w.SetItemText(IDC_TEXT, t.GetText("DEFAULT_TEXT1"));
    w.SetItemText(IDC_TEXT, t.GetText("DEFAULT_TEXT2"));

    w.AddComboItem(IDC_MUSIC, t.GetText("TEXT_NONE"), 0, true);
    int32_t n = 1;
    for (const auto& name : ListMusicFiles(GetProgramDirectory())) w.AddComboItem(IDC_MUSIC, name, n++, false);

    w.AddComboItem(IDC_OVERLAY, t.GetText("BACK_MUSIC"), kMusicUnderVoice, true);
    w.AddComboItem(IDC_OVERLAY, t.GetText("HEAD_OF_VOICE"), kMusicBeforeVoice, false);
    w.AddComboItem(IDC_OVERLAY, t.GetText("BEHIND_OF_VOICE"), kMusicAfterVoice, false);
    w.AddComboItem(IDC_OVERLAY, t.GetText("HEAD_AND_BEHIND_OF_VOICE"), kMusicAroundVoice, false);
    OnOverlayModeChanged(w);

    w.AddComboItem(IDC_RATE, u"8000", 8000, false);
    w.AddComboItem(IDC_RATE, u"16000", 16000, true);

    w.SetTrackbarRange(IDC_VOLUME, 0, 100);
    w.SetTrackbarPos(IDC_VOLUME, 50);
    w.SetItemText(IDC_VOLUME_VALUE, u"50");

    w.SetItemText(IDC_SAVE_DIR, GetDocumentsFolder());
}

void SetControlLabels(IMainWindow& w) {
    auto& t = CLanguageTable::Instance();
    w.SetItemText(IDC_MUSIC_LABEL, t.GetText("ADD_BACK_MUSIC"));
    w.SetItemText(IDC_MODE_LABEL, t.GetText("MODE_BACK_MUSIC"));
    w.SetItemText(IDC_RECORD, t.GetText("RECORD"));
    w.SetItemText(IDC_GENERATE_MP3, t.GetText("TEXT_TO_SPEECH"));
    w.SetItemText(IDC_GENERATE_PCM, t.GetText("TEXT_TO_SPEECH_PCM"));
    w.SetItemText(IDC_GENERATE_WAV, t.GetText("TEXT_TO_SPEECH_PCMWAV"));
    w.SetItemText(IDC_CONVERT, t.GetText("TRANSFER_TO_MP3"));
    w.SetItemText(IDC_BATCH_CONVERT, t.GetText("BATCH_TRANSFER_TO_MP3"));
    w.SetItemText(IDC_VOLUME_LABEL, t.GetText("BACK_MUSIC_VOLUMN"));
    w.SetItemText(IDC_SELECT_DIR, t.GetText("SELECT_SAVE_PATH"));
    w.SetItemText(IDC_OPEN_DIR, t.GetText("OPEN_SAVE_PATH"));
}

}  // namespace tesvano
