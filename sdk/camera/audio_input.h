// One opened source: FFmpeg demuxer, decoder of its first audio stream and a
// converter to 16-bit mono at the capture rate.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/camera/source.h"

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;
struct AVChannelLayout;

namespace camera {

using Clock = std::chrono::steady_clock;

// Longest wait for a source to open, and for a live source to send anything.
constexpr std::chrono::seconds kOpenBudget{5};
constexpr std::chrono::seconds kSilenceBudget{5};

class AudioInput {
public:
    // Every blocking FFmpeg call gives up soon after *stop becomes true.
    explicit AudioInput(const std::atomic<bool>* stop);
    ~AudioInput();
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    // 0 or one of the QUABO_NETSDK_ERR_ codes; *reason says why, for a message.
    int Open(const Source& source, int outRate, Clock::time_point deadline, std::string* reason);

    enum class Step { kSamples, kEnd, kBroken, kStopped };
    // Reads one packet and appends what it decodes to *out. kBroken: a read
    // or decode error, named by reason().
    Step Next(std::vector<int16_t>* out);
    // Appends what the decoder and the converter still hold.
    void Flush(std::vector<int16_t>* out);

    const std::string& reason() const { return reason_; }
    // What the opened stream carries: "pcm_mulaw, 8000 Hz, 1 channel".
    std::string Describe() const;

private:
    static int Interrupted(void* self);
    bool MatchConverter(int format, int rate, const AVChannelLayout& layout, std::vector<int16_t>* out);
    bool Convert(const AVFrame* frame, std::vector<int16_t>* out);
    void DrainConverter(std::vector<int16_t>* out);
    bool ReceiveFrames(std::vector<int16_t>* out);

    const std::atomic<bool>* stop_;
    std::atomic<int64_t> deadlineNs_{0};  // steady clock; 0: none
    bool live_ = false;
    int outRate_ = 0;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    SwrContext* converter_ = nullptr;
    AVChannelLayout* converterLayout_ = nullptr;
    int converterFormat_ = -1;
    int converterRate_ = 0;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    std::string reason_;
};

}  // namespace camera
