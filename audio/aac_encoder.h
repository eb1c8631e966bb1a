// AAC-LC encoding of mono PCM through libtesvano-ffmpeg.so (loaded on first
// use), for cameras whose back channel takes only AAC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TesvanoAacEncoder;
struct TesvanoFfmpegModuleTable;

namespace tesvano {

class AacEncoder {
public:
    AacEncoder() = default;
    ~AacEncoder();
    AacEncoder(const AacEncoder&) = delete;
    AacEncoder& operator=(const AacEncoder&) = delete;

    // False with *reason when the module or FFmpeg's encoder is missing.
    bool Open(int rate, std::string* reason);
    // Samples each frame takes (1024 for AAC-LC); 0 before Open.
    int frameSamples() const { return frameSamples_; }
    // One whole frame of 16-bit little-endian samples, or nullptr once to
    // drain what the encoder still holds.
    bool Send(const uint8_t* samples);
    // The next access unit into *unit: 1, 0 while none is ready, -1 on failure.
    int Receive(std::vector<uint8_t>* unit);

private:
    const TesvanoFfmpegModuleTable* module_ = nullptr;
    TesvanoAacEncoder* encoder_ = nullptr;
    int frameSamples_ = 0;
};

}  // namespace tesvano
