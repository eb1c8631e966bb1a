// The 17 voices: each name maps to an espeak-ng language and variant that fits
// its description. espeak-ng has no Sichuan, Dongbei, Henan, Hunan or Shaanxi
// dialect, so those voices are Mandarin told apart by variant, pitch and pace.
#pragma once

#include <string>
#include <string_view>

namespace msc {

struct Voice {
    const char* name;           // as the program sends it, trimmed
    const char* chinese;        // espeak-ng language for Han text
    const char* latin;          // espeak-ng language for Latin text
    bool englishFirst;          // digits and other text follow the English voice
    const char* variant;        // espeak-ng variant file in voices/!v
    int pitch;                  // espeak-ng base pitch 0..100 at pitch = 50
    int range;                  // espeak-ng pitch range 0..100
    int rate;                   // words per minute at speed = 50
};

// Null for names that are not ours; blanks around the name do not matter,
// letter case does not either.
const Voice* FindVoice(std::string_view name);

// All voices, for tests and msc-say's list.
const Voice* VoicesBegin();
const Voice* VoicesEnd();

enum class Script { kNeutral, kHan, kLatin };

// What espeak-ng is set to for one run of text.
struct EspeakSettings {
    std::string voiceName;  // "cmn+f2"
    int rate = 175;
    int pitch = 50;
    int range = 50;
};

EspeakSettings MakeEspeakSettings(const Voice& voice, Script script, int speed, int pitch);

}  // namespace msc
