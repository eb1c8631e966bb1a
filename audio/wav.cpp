#include "audio/wav.h"

#include <cstdio>
#include <cstring>

#include "platform/trace.h"

namespace tesvano {

void BuildWavHeader(WavHeader* h, uint32_t sampleRate, uint32_t dataLength) {
    constexpr uint16_t kChannels = 1;
    constexpr uint16_t kBits = 16;
    std::fprintf(TraceStream(), "wavheader: channel = %d\n", kChannels);
    std::fprintf(TraceStream(), "wavheader: dwSamplesPerSec = %d\n", static_cast<int>(sampleRate));
    std::memcpy(h->riffId, "RIFF", 4);
    std::memcpy(h->waveId, "WAVE", 4);
    std::memcpy(h->fmtId, "fmt ", 4);
    h->fmtSize = 16;
    h->formatTag = 1;
    h->channels = kChannels;
    h->samplesPerSec = sampleRate;
    h->bitsPerSample = kBits;
    h->blockAlign = kBits * kChannels / 8;
    // Bytes per frame times the rate: bits times the rate first would
    // overflow 32 bits from 2^28 Hz on.
    h->avgBytesPerSec = sampleRate * h->blockAlign;
    h->riffSize = dataLength + 36;
    std::memcpy(h->dataId, "data", 4);
    h->dataSize = dataLength;
}

WriteStatus WritePcmFile(const std::string& path, std::span<const uint8_t> pcm) { return WriteWholeFile(path, pcm); }

WriteStatus WriteWavFile(const std::string& path, uint32_t sampleRate, std::span<const uint8_t> pcm) {
    WavHeader header;
    BuildWavHeader(&header, sampleRate, static_cast<uint32_t>(pcm.size()));
    std::span<const uint8_t> parts[] = {
        {reinterpret_cast<const uint8_t*>(&header), sizeof header},
        pcm,
    };
    return WriteWholeFile(path, parts);
}

}  // namespace tesvano
