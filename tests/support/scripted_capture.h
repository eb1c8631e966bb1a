// A capture library table for tests: starts answer as told and deliver the
// scripted blocks from a thread of their own, one at a time, as the real
// library does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "capture/capture_library.h"

namespace tesvano::test {

struct ScriptedCapture {
    int startResult = 0;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<int> startArgs;  // rate, bits, channels of the last start
    int stops = 0;

    // Binds this script as the program's capture library until destroyed.
    ScriptedCapture();
    ~ScriptedCapture();
    ScriptedCapture(const ScriptedCapture&) = delete;
    ScriptedCapture& operator=(const ScriptedCapture&) = delete;

    // Adds `pcm` as blocks of `blockBytes` (the last may be shorter).
    void Deliver(const std::vector<uint8_t>& pcm, size_t blockBytes);

private:
    static int Start(int rate, int bits, int channels, CaptureCallback cb, void* user);
    static int Stop();
    static ScriptedCapture* current_;
    std::thread delivery_;
    const CaptureLibrary table_{Start, Stop, nullptr, nullptr, nullptr};
};

}  // namespace tesvano::test
