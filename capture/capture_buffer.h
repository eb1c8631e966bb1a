// The recording's buffer: grows by whole mebibytes and is kept between
// recordings, so a new one rarely allocates. Sizes are 64-bit: a long
// recording never wraps the count.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/pcm.h"

namespace tesvano {

class CaptureBuffer {
public:
    static constexpr uint64_t kStep = 1048576;

    // Adds one delivered block. When memory runs out the block is dropped
    // (what is held stays whole) and lostAudio() says so.
    void Append(const uint8_t* data, size_t length);
    // A new recording: no bytes, the same block, nothing lost yet.
    void Reset();
    // Frees the block (the window is closing).
    void Release();

    uint64_t size() const { return pcm_.size(); }
    uint64_t capacity() const { return pcm_.capacity(); }
    bool lostAudio() const { return lost_; }
    // The audio itself; a mixing step may replace it (the capacity follows).
    PcmBuffer& pcm() { return pcm_; }

    // Tests make growth past this many bytes fail, as memory running out would.
    void SetCapacityLimitForTesting(uint64_t bytes) { limit_ = bytes; }

private:
    PcmBuffer pcm_;
    bool lost_ = false;
    uint64_t limit_ = UINT64_MAX;
};

}  // namespace tesvano
