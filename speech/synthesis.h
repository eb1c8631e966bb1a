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

// "voice_name =<voice>, text_encoding = gb2312, sample_rate = <rate>, speed = 50, ..."
std::string BuildSessionParams(int voiceIndex, int sampleRate);

}  // namespace tesvano
