// Playing PCM through a camera's speaker over its ONVIF audio back channel.
// The RTSP side lives in libtesvano-talk.so (GStreamer), opened beside the
// program the first time something is played; here the camera is found, the
// audio resampled to the back channel's codec, packetised (20 ms) and paced
// in real time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/pcm.h"

namespace tesvano {

class AacEncoder;

enum class TalkResult {
    kOk,
    kNoCamera,        // no camera source configured, or not an rtsp:// one
    kUnreachable,     // no connection or no answer in time
    kUnauthorised,    // user or password refused
    kNoBackchannel,   // the camera offers no audio back channel
    kNoCodec,         // its back channel takes nothing we send
    kBroken,          // the connection broke mid-way
    kModuleMissing,   // libtesvano-talk.so or GStreamer's RTSP client missing
    kStopped,         // asked to stop before the end
};

// The camera as configured for recording (TESVANO_CAMERA_URL, camera.conf).
// kNoCamera with *reason when there is none to play to.
TalkResult ConfiguredCameraUrl(std::string* url, std::string* reason);

// One connection to a camera's speaker; clips played through it follow each
// other without a gap. Not copyable; closes (TEARDOWN) when it goes.
class CameraSpeaker {
public:
    // How long each RTSP step (connect, DESCRIBE, SETUP, PLAY) may take.
    static constexpr int kStepWaitMs = 3000;
    // Packets carry this much audio (AAC: one frame, 1024 samples).
    static constexpr int kPacketMs = 20;

    CameraSpeaker();
    ~CameraSpeaker();
    CameraSpeaker(const CameraSpeaker&) = delete;
    CameraSpeaker& operator=(const CameraSpeaker&) = delete;

    TalkResult Connect(const std::string& url, std::string* reason);
    // 16-bit mono PCM at `rate`, sent in real time. Returns early with
    // kStopped as soon as *stop is set (checked every packet).
    TalkResult Play(const PcmBuffer& pcm, int rate, const std::atomic<bool>* stop, std::string* reason);
    // Waits until the camera has played what was sent (unless stopped),
    // then tears down.
    TalkResult Finish(const std::atomic<bool>* stop, std::string* reason);

    double secondsSent() const { return codecRate_ ? double(samplesSent_) / codecRate_ : 0.0; }
    int codecRate() const { return codecRate_; }
    const char* codecName() const;
    // Called once, as the first packet goes out (the latency benchmark).
    void set_on_first_packet(std::function<void()> f) { onFirstPacket_ = std::move(f); }

private:
    // Paces and sends one packet's payload of `samples` samples.
    TalkResult Send(const uint8_t* payload, size_t bytes, uint32_t samples, const std::atomic<bool>* stop,
                    std::string* reason);
    // Sends what the AAC encoder has ready.
    TalkResult SendEncoded(const std::atomic<bool>* stop, std::string* reason);
    size_t packetSamples() const;

    void* session_ = nullptr;
    int codec_ = 0;
    int codecRate_ = 0;
    uint64_t samplesSent_ = 0;
    std::chrono::steady_clock::time_point start_{};
    PcmBuffer carry_;  // samples short of a whole packet, sent with the next clip
    std::unique_ptr<AacEncoder> aac_;  // for a camera that takes only AAC
    std::vector<uint8_t> unit_;        // one AAC access unit at a time
    std::function<void()> onFirstPacket_;
};

}  // namespace tesvano
