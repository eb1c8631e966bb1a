// The two file forms a PCM buffer leaves the program in without MP3:
// raw PCM (the bytes alone) and WAV (a 44-byte header, then the bytes).
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string>

#include "platform/file.h"

namespace tesvano {

static_assert(std::endian::native == std::endian::little, "WAV fields are written as the host lays them out");

#pragma pack(push, 1)
struct WavHeader {
    char riffId[4];           // "RIFF"
    uint32_t riffSize;        // data length + 36
    char waveId[4];           // "WAVE"
    char fmtId[4];            // "fmt "
    uint32_t fmtSize;         // 16
    uint16_t formatTag;       // 1, integer PCM
    uint16_t channels;        // 1
    uint32_t samplesPerSec;   // the rate
    uint32_t avgBytesPerSec;  // 2 x rate
    uint16_t blockAlign;      // 2
    uint16_t bitsPerSample;   // 16
    char dataId[4];           // "data"
    uint32_t dataSize;        // data length
};
#pragma pack(pop)
static_assert(sizeof(WavHeader) == 44);

// Fills the header for mono 16-bit PCM; prints two trace lines to TraceStream().
void BuildWavHeader(WavHeader* header, uint32_t sampleRate, uint32_t dataLength);

WriteStatus WritePcmFile(const std::string& path, std::span<const uint8_t> pcm);
WriteStatus WriteWavFile(const std::string& path, uint32_t sampleRate, std::span<const uint8_t> pcm);

}  // namespace tesvano
