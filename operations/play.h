// Playing on the camera's speaker (ONVIF back channel), with its log lines:
// the clips of tesvano-cli play and the speech of say --play.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/pcm.h"
#include "operations/main_window.h"
#include "talk/talk.h"

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

// A connection to the configured camera begun while the audio is still
// being made (say --play), so the first packet leaves as soon as it is ready.
class CameraConnection {
public:
    CameraConnection();
    ~CameraConnection();  // waits for the connecting (bounded), then tears down
    CameraConnection(const CameraConnection&) = delete;
    CameraConnection& operator=(const CameraConnection&) = delete;

    // Waits for the connecting to end; its result, *reason when it failed.
    TalkResult Wait(std::string* reason);
    const std::string& url() const { return url_; }
    CameraSpeaker& speaker() { return speaker_; }

private:
    std::string url_;
    std::string reason_;
    TalkResult result_ = TalkResult::kOk;
    CameraSpeaker speaker_;
    std::thread thread_;
};

// Plays the clips one after the other through one connection to the
// configured camera (`ahead` when one was begun already). Logs the start,
// then the seconds sent, or a failure line with the reason as the next line
// (details on the trace stream).
OpResult PlayOnCamera(IMainWindow& window, const std::vector<PlayClip>& clips, const PlayControl& control = {},
                      CameraConnection* ahead = nullptr);

// Decodes every file (as the conversions do) and plays them in order;
// nothing plays when a file cannot be decoded.
OpResult PlayFilesOnCamera(IMainWindow& window, const std::vector<std::string>& files,
                           const PlayControl& control = {});

// Button 1022: the last clip made or converted, on the camera. Nothing to do
// (kFailed, no line) before there is one; the window keeps it disabled then.
OpResult OnPlayOnCamera(IMainWindow& window);

}  // namespace tesvano
