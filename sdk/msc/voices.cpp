#include "sdk/msc/voices.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace msc {
namespace {

constexpr Voice kVoices[] = {
    // name           chinese latin   english variant pitch range rate
    {"xiaoyu",        "cmn", "en",    false,  "m1",   50,   50,   175},
    {"xiaoyan",       "cmn", "en",    false,  "f2",   50,   50,   175},
    {"vixy",          "cmn", "en",    false,  "f1",   55,   55,   175},
    {"xiaoqi",        "cmn", "en",    false,  "f4",   52,   60,   170},
    {"vixf",          "cmn", "en",    false,  "m3",   45,   50,   175},
    {"xiaomei",       "yue", "en",    false,  "f2",   50,   50,   170},
    {"vixl xiaolin",  "cmn", "en",    false,  "f3",   58,   45,   165},  // Taiwan: softer, slower
    {"xiaorong",      "cmn", "en",    false,  "f5",   60,   70,   185},  // Sichuan
    {"vixyun",        "cmn", "en",    false,  "f1",   45,   65,   180},  // Dongbei
    {"xiaokun",       "cmn", "en",    false,  "m2",   40,   65,   170},  // Henan
    {"xiaoqiang",     "cmn", "en",    false,  "m4",   55,   70,   180},  // Hunan
    {"vixying",       "cmn", "en",    false,  "f4",   42,   70,   170},  // Shaanxi
    {"xiaoxin",       "cmn", "en",    false,  "f1",   85,   60,   170},  // boy
    {"nannan",        "cmn", "en",    false,  "f5",   95,   70,   170},  // girl
    {"catherine",     "cmn", "en",    true,   "f2",   50,   50,   165},
    {"henry",         "cmn", "en-us", true,   "m3",   50,   50,   170},
    {"vimary",        "cmn", "en-us", true,   "f1",   52,   55,   170},
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

const Voice* FindVoice(std::string_view name) {
    while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    for (const Voice& v : kVoices)
        if (EqualsIgnoringCase(name, v.name)) return &v;
    return nullptr;
}

const Voice* VoicesBegin() { return std::begin(kVoices); }
const Voice* VoicesEnd() { return std::end(kVoices); }

EspeakSettings MakeEspeakSettings(const Voice& voice, Script script, int speed, int pitch) {
    bool latin = script == Script::kLatin || (script == Script::kNeutral && voice.englishFirst);
    EspeakSettings s;
    s.voiceName = std::string(latin ? voice.latin : voice.chinese) + "+" + voice.variant;
    // speed 0 halves the pace and 100 doubles it.
    double rate = voice.rate * std::exp2((speed - 50) / 50.0);
    s.rate = std::clamp(int(std::lround(rate)), 80, 450);
    s.pitch = std::clamp(voice.pitch + (pitch - 50), 0, 100);
    s.range = voice.range;
    return s;
}

}  // namespace msc
