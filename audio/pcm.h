// A PCM buffer: signed 16-bit little-endian mono samples, as bytes. The
// sample rate travels beside it. Whoever holds the vector owns the audio.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace tesvano {

using PcmBuffer = std::vector<uint8_t>;

inline int16_t LoadSample(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void StoreSample(uint8_t* p, int16_t v) { std::memcpy(p, &v, 2); }

}  // namespace tesvano
