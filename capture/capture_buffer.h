// The recording's buffer: grows by whole mebibytes and is kept between
// recordings, so a new one rarely allocates. Sizes are 64-bit: a long
// recording never wraps the count. It grows with realloc, which moves large
// blocks by remapping pages rather than copying them, so a long recording
// never needs twice its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/pcm.h"

namespace tesvano {

class CaptureBuffer {
public:
    static constexpr uint64_t kStep = 1048576;

    CaptureBuffer() = default;
    ~CaptureBuffer();
    CaptureBuffer(const CaptureBuffer&) = delete;
    CaptureBuffer& operator=(const CaptureBuffer&) = delete;

    // Adds one delivered block. When memory runs out the block is dropped
    // (what is held stays whole) and lostAudio() says so.
    void Append(const uint8_t* data, size_t length);
    // A new recording: no bytes, the same block, nothing lost yet.
    void Reset();
    // Frees the block (the window is closing).
    void Release();
    // Takes `pcm` in place of what is held (music laid around the recording);
    // the capacity becomes its size. False, and nothing changed, without memory.
    bool Replace(const PcmBuffer& pcm);

    uint64_t size() const { return size_; }
    uint64_t capacity() const { return capacity_; }
    bool lostAudio() const { return lost_; }
    std::span<uint8_t> bytes() { return {data_, static_cast<size_t>(size_)}; }

    // Tests make growth past this many bytes fail, as memory running out would.
    void SetCapacityLimitForTesting(uint64_t bytes) { limit_ = bytes; }

private:
    bool Resize(uint64_t capacity);

    uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    uint64_t capacity_ = 0;
    bool lost_ = false;
    uint64_t limit_ = UINT64_MAX;
};

}  // namespace tesvano
