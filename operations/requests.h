// What a spoken clip and a recording are made from. The window's buttons
// read them from their controls; tesvano-cli fills them from its options, so
// the operations never look at a control for these values.
#pragma once

#include <string>

#include "audio/mixer.h"
#include "operations/main_window.h"

namespace tesvano {

struct MusicChoice {
    std::string path;  // the file to decode; "" for no music
    MixMode mode = MixMode::kUnderVoice;
    int volume = 50;  // percent, under the voice only
};

struct SayRequest {
    std::u16string text;
    int voice = 0;  // index into kVoiceTable
    int rate = 16000;
    MusicChoice music;
    std::u16string saveDir;
    std::u16string fileStem;  // the file's name without extension; "": made from the text
};

struct RecordRequest {
    int rate = 16000;
    MusicChoice music;
    std::u16string saveDir;
};

// The file a music list entry names: a listed file lies beside the
// program; an entry that is a whole path is taken as it is.
std::string MusicEntryPath(const std::u16string& entry);

// Music list 1007, overlay list 1008 and volume trackbar 1010. A listed
// entry is a file beside the program; an entry that is a whole path is
// taken as it is.
MusicChoice ReadMusicChoice(const IMainWindow& window);
// The text, voice, rate, music and save folder the window shows now.
SayRequest ReadSayRequest(const IMainWindow& window);
RecordRequest ReadRecordRequest(const IMainWindow& window);

}  // namespace tesvano
