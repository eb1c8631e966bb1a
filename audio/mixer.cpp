#include "audio/mixer.h"

#include <algorithm>

namespace tesvano {
namespace {

void MixUnder(PcmBuffer& voice, const PcmBuffer& music, int volume) {
    const size_t n = voice.size() / 2;
    const size_t m = music.size() / 2;
    if (n == 0 || m == 0) return;
    // The trackbar gives 0..100; anything else would overflow the 16-bit result.
    volume = std::clamp(volume, 0, 100);
    uint8_t* v = voice.data();
    const uint8_t* mu = music.data();
    size_t j = 0;
    for (size_t i = 0; i < n; ++i) {
        if (j >= m) j = 0;  // shorter music repeats from its start
        const int32_t scaled = LoadSample(mu + 2 * j) * volume / 100;  // truncates toward zero
        StoreSample(v + 2 * i, static_cast<int16_t>((scaled + LoadSample(v + 2 * i)) >> 1));
        ++j;
    }
}

}  // namespace

void MixBackgroundMusic(PcmBuffer& voice, const PcmBuffer& music, MixMode mode, int volume) {
    if (voice.empty() || music.empty()) return;
    if (mode == MixMode::kUnderVoice) {
        MixUnder(voice, music, volume);
        return;
    }
    if (mode != MixMode::kBeforeVoice && mode != MixMode::kAfterVoice && mode != MixMode::kAroundVoice) return;

    PcmBuffer joined;
    joined.reserve(voice.size() + music.size() * (mode == MixMode::kAroundVoice ? 2 : 1));
    if (mode != MixMode::kAfterVoice) joined.insert(joined.end(), music.begin(), music.end());
    joined.insert(joined.end(), voice.begin(), voice.end());
    if (mode != MixMode::kBeforeVoice) joined.insert(joined.end(), music.begin(), music.end());
    voice.swap(joined);  // the old voice goes with `joined`
}

}  // namespace tesvano
