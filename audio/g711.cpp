#include "audio/g711.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "audio/pcm.h"

namespace tesvano {
namespace {

// Position of the highest set bit: 0 for 1, 12 for 4096.
int TopBit(unsigned value) { return std::bit_width(value) - 1; }

#pragma pack(push, 1)
// The non-PCM form: the format block carries cbSize, and a fact chunk gives
// the sample count, as readers of compressed WAVs expect.
struct G711WavHeader {
    char riffId[4];           // "RIFF"
    uint32_t riffSize;        // everything after this field
    char waveId[4];           // "WAVE"
    char fmtId[4];            // "fmt "
    uint32_t fmtSize;         // 18
    uint16_t formatTag;       // 6 A-law, 7 µ-law
    uint16_t channels;        // 1
    uint32_t samplesPerSec;   // 8000
    uint32_t avgBytesPerSec;  // 8000: one byte a sample
    uint16_t blockAlign;      // 1
    uint16_t bitsPerSample;   // 8
    uint16_t cbSize;          // 0: nothing more in the format block
    char factId[4];           // "fact"
    uint32_t factSize;        // 4
    uint32_t sampleLength;    // samples in the data chunk
    char dataId[4];           // "data"
    uint32_t dataSize;        // bytes of samples, without the pad byte
};
#pragma pack(pop)
static_assert(sizeof(G711WavHeader) == 58);

}  // namespace

// 13-bit magnitudes in eight segments; inside each, four bits of mantissa.
// The first two segments share one step, and the even bits are inverted.
uint8_t LinearToALaw(int16_t sample) {
    const int value = sample >> 3;
    const uint8_t sign = value >= 0 ? 0x80 : 0x00;
    const unsigned magnitude = static_cast<unsigned>(value >= 0 ? value : -value - 1);  // 0..4095
    const int segment = magnitude < 32 ? 0 : TopBit(magnitude) - 4;
    const unsigned mantissa = (magnitude >> (segment == 0 ? 1 : segment)) & 0x0F;
    return static_cast<uint8_t>((sign | segment << 4 | mantissa) ^ 0x55);
}

// 14-bit magnitudes with a bias of 33, so every segment starts at a power of
// two; the whole code is inverted.
uint8_t LinearToMuLaw(int16_t sample) {
    constexpr unsigned kClip = 8159;
    constexpr unsigned kBias = 33;
    const int value = sample >> 2;
    const uint8_t mask = value >= 0 ? 0xFF : 0x7F;  // the sign bit is set for positive values
    unsigned magnitude = static_cast<unsigned>(value >= 0 ? value : -value);
    if (magnitude > kClip) magnitude = kClip;
    magnitude += kBias;  // 33..8192
    int segment = TopBit(magnitude) - 5;
    unsigned mantissa = (magnitude >> (segment + 1)) & 0x0F;
    if (segment > 7) {  // only 8192 itself: the top code
        segment = 7;
        mantissa = 0x0F;
    }
    return static_cast<uint8_t>((segment << 4 | mantissa) ^ mask);
}

WriteStatus WriteG711WavFile(const std::string& path, G711Law law, std::span<const uint8_t> pcm) {
    const uint64_t samples = pcm.size() / 2;
    // RIFF chunks are of even length: an odd count of samples gets a pad byte.
    const uint64_t padded = samples + (samples & 1);
    if (padded + sizeof(G711WavHeader) - 8 > UINT32_MAX) return WriteStatus::kWriteFailed;

    std::unique_ptr<uint8_t[]> coded(new (std::nothrow) uint8_t[padded + 1]);
    if (!coded) return WriteStatus::kWriteFailed;
    const auto encode = law == G711Law::kALaw ? LinearToALaw : LinearToMuLaw;
    for (uint64_t i = 0; i < samples; ++i) coded[i] = encode(LoadSample(pcm.data() + 2 * i));
    coded[samples] = 0;

    G711WavHeader h;
    std::memcpy(h.riffId, "RIFF", 4);
    h.riffSize = static_cast<uint32_t>(sizeof h - 8 + padded);
    std::memcpy(h.waveId, "WAVE", 4);
    std::memcpy(h.fmtId, "fmt ", 4);
    h.fmtSize = 18;
    h.formatTag = law == G711Law::kALaw ? 6 : 7;
    h.channels = 1;
    h.samplesPerSec = kG711Rate;
    h.avgBytesPerSec = kG711Rate;
    h.blockAlign = 1;
    h.bitsPerSample = 8;
    h.cbSize = 0;
    std::memcpy(h.factId, "fact", 4);
    h.factSize = 4;
    h.sampleLength = static_cast<uint32_t>(samples);
    std::memcpy(h.dataId, "data", 4);
    h.dataSize = static_cast<uint32_t>(samples);
    std::span<const uint8_t> parts[] = {
        {reinterpret_cast<const uint8_t*>(&h), sizeof h},
        {coded.get(), static_cast<size_t>(padded)},
    };
    return WriteWholeFile(path, parts);
}

}  // namespace tesvano
