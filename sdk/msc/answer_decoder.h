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

#include "sdk/msc/msc.h"
#include "sdk/msc/voice_map.h"

typedef struct soxr* soxr_t;
typedef struct mpg123_handle_struct mpg123_handle;

namespace msc {

// The rate of format = pcm, as OpenAI-style servers send it.
inline constexpr int kServerPcmRate = 24000;

// Rates an answer may have: a speech server's audio is never below telephone
// quality, and an answer at a tiny rate would multiply into huge output.
inline constexpr int kMinAnswerRate = 8000;
inline constexpr int kMaxAnswerRate = 384000;

// The decoded audio of one answer is refused beyond this, as the answer is.
inline constexpr size_t kMaxDecodedBytes = size_t{64} << 20;

class AnswerDecoder {
public:
    AnswerDecoder(ServerFormat format, int outRate, float gain);
    ~AnswerDecoder();
    AnswerDecoder(const AnswerDecoder&) = delete;
    AnswerDecoder& operator=(const AnswerDecoder&) = delete;

    // Decodes the next bytes of the answer and appends the samples ready so
    // far to *out. MSP_ERROR_SERVER_NOT_AUDIO once the bytes cannot be the
    // configured format (a rate outside 8000..384000 Hz included),
    // MSP_ERROR_SERVER_TOO_LARGE once the audio would pass kMaxDecodedBytes
    // at the session's rate; the decoder is then done.
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
    int DecodeFrames(const uint8_t* data, size_t frames, std::vector<int16_t>* out);
    int SetSourceRate(int rate);
    int Emit(const float* samples, size_t count, std::vector<int16_t>* out);
    int Refuse(const std::string& why, int code = MSP_ERROR_SERVER_NOT_AUDIO);

    ServerFormat format_;
    int outRate_;
    float gain_;
    std::string problem_;
    int refused_ = 0;  // the MSP code once refused
    uint64_t emitted_ = 0;  // samples handed out, at the session's rate
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
