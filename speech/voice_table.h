// The 17 voices the tool offers: two display names and the name the speech
// engine knows the voice by. Names are kept exactly, blanks included.
#pragma once

#include <array>
#include <cstddef>

namespace tesvano {

struct VoiceEntry {
    const char* chineseName;  // shown when the language is zh-cn
    const char* englishName;  // shown otherwise
    const char* voiceName;    // handed to the engine unchanged
};

inline constexpr size_t kVoiceCount = 17;
extern const std::array<VoiceEntry, kVoiceCount> kVoiceTable;

}  // namespace tesvano
