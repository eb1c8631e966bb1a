#include "operations/requests.h"

#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {

std::string MusicEntryPath(const std::u16string& entry) {
    const std::string name = WideToAnsi(entry);
    return name.starts_with('/') ? name : GetProgramDirectory() + "/" + name;
}

MusicChoice ReadMusicChoice(const IMainWindow& w) {
    MusicChoice music;
    std::u16string entry;
    // Item data 0 is the entry for no music; files are numbered from 1.
    if (w.HasControl(IDC_MUSIC) && w.GetComboSelectionData(IDC_MUSIC) >= 1 &&
        w.GetComboSelectionText(IDC_MUSIC, &entry))
        music.path = MusicEntryPath(entry);
    // The overlay list's item data are the mixer's modes.
    music.mode = static_cast<MixMode>(w.GetComboSelectionData(IDC_OVERLAY));
    music.volume = w.HasControl(IDC_VOLUME) ? w.GetTrackbarPos(IDC_VOLUME) : 0;
    return music;
}

SayRequest ReadSayRequest(const IMainWindow& w) {
    SayRequest r;
    r.text = w.GetItemText(IDC_TEXT);
    r.voice = w.GetComboSelectionData(IDC_VOICE);
    r.rate = w.GetComboSelectionData(IDC_RATE);
    r.music = ReadMusicChoice(w);
    r.saveDir = w.GetItemText(IDC_SAVE_DIR);
    return r;
}

RecordRequest ReadRecordRequest(const IMainWindow& w) {
    return {w.GetComboSelectionData(IDC_RATE), ReadMusicChoice(w), w.GetItemText(IDC_SAVE_DIR)};
}

}  // namespace tesvano
