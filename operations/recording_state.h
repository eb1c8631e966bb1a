// What a main window keeps about the camera recording: whether one runs,
// when it started, and the audio gathered so far.
#pragma once

#include <cstdint>

#include "capture/capture_buffer.h"

namespace tesvano {

class Recording {
public:
    Recording() = default;
    // A capture still running when the window goes is stopped first, so no
    // block is ever delivered into freed memory.
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    bool active() const { return active_; }
    uint32_t startTick() const { return startTick_; }
    CaptureBuffer& buffer() { return buffer_; }

    // The capture library's callback; `user` is the Recording.
    static int OnAudioCaptured(const unsigned char* data, unsigned int length, void* user);

private:
    friend class RecordingControl;
    bool active_ = false;
    uint32_t startTick_ = 0;
    CaptureBuffer buffer_;
};

}  // namespace tesvano
