// The engine session's parts that need no window: the buffer the audio is
// collected in and the session parameters built from the voice table.
#pragma once

#include <cstddef>
#include <string>

#include "audio/pcm.h"

namespace tesvano {

// Synthesis buffer: grows in whole mebibytes so reallocation stays rare.
class SynthesisBuffer {
public:
    static constexpr size_t kStep = 1048576;

    // false when memory runs out (the buffer is then unchanged).
    bool Allocate();
    bool Append(const void* data, size_t length);
    size_t size() const { return pcm_.size(); }
    size_t capacity() const { return capacity_; }
    PcmBuffer Take() { return std::move(pcm_); }

private:
    PcmBuffer pcm_;
    size_t capacity_ = 0;
};

// The engine's speed: 50 is the voice's own pace, and every 50 above it
// doubles the pace.
inline constexpr int kNormalSpeed = 50;
// The fastest speed a clip is fitted with: 1.495 times the normal pace
// (speed 80 would pass 1.5).
inline constexpr int kFastestFitSpeed = 79;
double PaceAtSpeed(int speed);

// "voice_name =<voice>, text_encoding = gb2312, sample_rate = <rate>, speed = <speed>, ..."
std::string BuildSessionParams(int voiceIndex, int sampleRate, int speed = kNormalSpeed);

}  // namespace tesvano
