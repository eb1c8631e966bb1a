#include "audio/mixer.h"

#include <algorithm>

namespace tesvano {
namespace {

void MixUnder(std::span<uint8_t> voice, std::span<const uint8_t> music, int volume) {
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

bool MixBackgroundMusic(std::span<uint8_t> voice, std::span<const uint8_t> music, MixMode mode, int volume,
                        PcmBuffer* joined) {
    if (voice.empty() || music.empty()) return false;
    if (mode == MixMode::kUnderVoice) {
        MixUnder(voice, music, volume);
        return false;
    }
    if (mode != MixMode::kBeforeVoice && mode != MixMode::kAfterVoice && mode != MixMode::kAroundVoice) return false;

    PcmBuffer out;
    out.reserve(voice.size() + music.size() * (mode == MixMode::kAroundVoice ? 2 : 1));
    if (mode != MixMode::kAfterVoice) out.insert(out.end(), music.begin(), music.end());
    out.insert(out.end(), voice.begin(), voice.end());
    if (mode != MixMode::kBeforeVoice) out.insert(out.end(), music.begin(), music.end());
    *joined = std::move(out);
    return true;
}

void ShortenMusic(PcmBuffer& music, size_t samples, size_t fadeSamples) {
    if (samples >= music.size() / 2) return;
    music.resize(samples * 2);
    const size_t fade = std::min(fadeSamples, samples);
    for (size_t k = 0; k < fade; ++k) {
        // Gain from just under 1 down to 1/fade over the last samples.
        uint8_t* p = music.data() + 2 * (samples - fade + k);
        StoreSample(p, static_cast<int16_t>(int64_t{LoadSample(p)} * static_cast<int64_t>(fade - k) /
                                            static_cast<int64_t>(fade + 1)));
    }
}

void MixBackgroundMusic(PcmBuffer& voice, const PcmBuffer& music, MixMode mode, int volume) {
    PcmBuffer joined;
    if (MixBackgroundMusic(std::span<uint8_t>(voice), std::span<const uint8_t>(music), mode, volume, &joined))
        voice.swap(joined);  // the old voice goes with `joined`
}

}  // namespace tesvano
