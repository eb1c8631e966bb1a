#include "operations/window_setup.h"

#include <algorithm>
#include <cwctype>
#include <dirent.h>
#include <utility>

#include "operations/settings.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/speech_engine.h"
#include "speech/voice_table.h"

namespace tesvano {
namespace {

bool EndsWithMp3(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".mp3";
}

// NTFS compares names through its upcase table, unit by unit.
std::u16string UpperCaseUnits(const std::u16string& name) {
    std::u16string key = name;
    for (char16_t& u : key) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;  // surrogates are compared as they are
        const auto upper = std::towupper(static_cast<wint_t>(u));
        if (upper <= 0xFFFF) u = static_cast<char16_t>(upper);
    }
    return key;
}

}  // namespace

std::u16string MakeCaption() {
    auto& t = CLanguageTable::Instance();
    return t.GetText("TITLE") + u" " + AnsiToWide(kVersion) + u" " + t.GetText("AUTHOR");
}

std::vector<std::u16string> ListMusicFiles(const std::string& dir) {
    std::vector<std::u16string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && EndsWithMp3(name)) names.push_back(AnsiToWide(name));
        }
        closedir(d);
    }
    // readdir's order is arbitrary; keys are made once, not per comparison.
    std::vector<std::pair<std::u16string, std::u16string>> keyed;
    keyed.reserve(names.size());
    for (auto& n : names) keyed.emplace_back(UpperCaseUnits(n), std::move(n));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& k : keyed) names.push_back(std::move(k.second));
    return names;
}

void FillControls(IMainWindow& w, bool markServerVoices) {
    auto& t = CLanguageTable::Instance();

    const bool chinese = t.GetLanguageCode() == u"zh-cn";
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const auto& v = kVoiceTable[i];
        // A voice a speech server speaks says so.
        const bool server = markServerVoices && !ServerVoiceOf(v.voiceName).empty();
        w.AddComboItem(IDC_VOICE,
                       AnsiToWide(chinese ? v.chineseName : v.englishName) + (server ? t.GetText("SERVER_VOICE") : u""),
                       static_cast<int32_t>(i), i == 0);
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
    w.SetItemText(IDC_FIT, t.GetText("FIT_CAMERA_SIZE"));
    w.SetItemText(IDC_CAMERA, t.GetText("CAMERA_SETTINGS"));
    w.SetItemText(IDC_PLAY_ON_CAMERA, t.GetText("PLAY_ON_CAMERA"));
}

}  // namespace tesvano
