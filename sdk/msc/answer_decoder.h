// A speech server's answer, decoded as it arrives: WAV (integer or float
// samples, any channels and rate, also with the open-ended sizes of a
// streamed WAV), raw 24 kHz 16-bit mono PCM, or MP3; mixed down to mono,
// scaled by a gain of at most 1 and resampled with soxr to the session's rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/msc/voice_map.h"

typedef struct soxr* soxr_t;
typedef struct mpg123_handle_struct mpg123_handle;

namespace msc {

// The rate of format = pcm, as OpenAI-style servers send it.
inline constexpr int kServerPcmRate = 24000;

class AnswerDecoder {
public:
    AnswerDecoder(ServerFormat format, int outRate, float gain);
    ~AnswerDecoder();
    AnswerDecoder(const AnswerDecoder&) = delete;
    AnswerDecoder& operator=(const AnswerDecoder&) = delete;

    // Decodes the next bytes of the answer and appends the samples ready so
    // far to *out. MSP_ERROR_SERVER_NOT_AUDIO once the bytes cannot be the
    // configured format; the decoder is then done.
    int Feed(const uint8_t* data, size_t size, std::vector<int16_t>* out);

    // The answer ended: appends what the resampler still holds.
    // MSP_ERROR_SERVER_NOT_AUDIO when no audio came at all.
    int Finish(std::vector<int16_t>* out);

    ServerFormat format() const { return format_; }
    // Why the answer was refused, for the message on standard error.
    const std::string& problem() const { return problem_; }

private:
    int FeedWav(const uint8_t* data, size_t size, std::vector<int16_t>* out);
    int FeedPcm(const uint8_t* data, size_t size, std::vector<int16_t>* out);
    int FeedMp3(const uint8_t* data, size_t size, std::vector<int16_t>* out);
    int ParseWavHeader();
    void DecodeFrames(const uint8_t* data, size_t frames, std::vector<int16_t>* out);
    int SetSourceRate(int rate);
    void Emit(const float* samples, size_t count, std::vector<int16_t>* out);
    int Refuse(const std::string& why);

    ServerFormat format_;
    int outRate_;
    float gain_;
    std::string problem_;
    bool refused_ = false;
    bool anyAudio_ = false;
    int sourceRate_ = 0;
    soxr_t resampler_ = nullptr;
    std::vector<float> decoded_;  // reused from piece to piece
    std::vector<float> scaled_;

    // WAV and PCM: bytes not yet decoded (a header, a part of a frame).
    std::string pending_;
    enum class WavStage { kHeader, kData, kAfterData } wavStage_ = WavStage::kHeader;
    int channels_ = 0;
    int bytesPerSample_ = 0;
    bool float_ = false;
    uint64_t dataLeft_ = 0;  // UINT64_MAX: to the end of the answer

    mpg123_handle* mp3_ = nullptr;
    uint64_t mp3BytesWithoutAudio_ = 0;
};

}  // namespace msc
