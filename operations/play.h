// Playing on the camera's speaker (ONVIF back channel), with its log lines:
// the clips of tesvano-cli play and the speech of say --play.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "audio/pcm.h"
#include "operations/main_window.h"

namespace tesvano {

struct PlayClip {
    int rate = 16000;
    PcmBuffer pcm;
};

// What a caller may watch: a flag that stops the playing at once, and a
// call as the first packet leaves.
struct PlayControl {
    const std::atomic<bool>* stop = nullptr;
    std::function<void()> onFirstPacket;
};

// Plays the clips one after the other through one connection to the
// configured camera. Logs the start, then the seconds sent, or a failure
// line with the reason as the next line (details on the trace stream).
OpResult PlayOnCamera(IMainWindow& window, const std::vector<PlayClip>& clips, const PlayControl& control = {});

// Decodes every file (as the conversions do) and plays them in order;
// nothing plays when a file cannot be decoded.
OpResult PlayFilesOnCamera(IMainWindow& window, const std::vector<std::string>& files,
                           const PlayControl& control = {});

}  // namespace tesvano
