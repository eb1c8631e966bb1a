// Whole-file MP3 decoding to one PCM buffer at a target rate and channel
// count, frame by frame through libmpg123 and the Resampler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/pcm.h"
#include "audio/resampler.h"

namespace tesvano {

// Results of Decode.
enum DecodeResult : int {
    kDecodeOk = 0,
    kDecodeEmptyFile = -1,
    kDecodeFileError = -2,  // cannot be opened or read; LastErrno() says why
    kDecodeFailed = -3,     // the result cannot be held, or the target cannot be produced
};

class CAudioDecodeBase {
public:
    CAudioDecodeBase(std::string fileName, int targetRate, int targetChannels);
    virtual ~CAudioDecodeBase();
    CAudioDecodeBase(const CAudioDecodeBase&) = delete;
    CAudioDecodeBase& operator=(const CAudioDecodeBase&) = delete;

    // Drops any previous output and makes an empty one of this capacity:
    // 0, or -1 (and no buffer) when memory runs out.
    virtual int AllocOutput(size_t capacity);
    virtual int Decode() = 0;

    // Appends after the current data; bytes that do not fit empty the whole
    // buffer and are dropped.
    void AppendOutput(size_t length, const uint8_t* bytes);

    const uint8_t* output() const { return output_.data(); }
    size_t outputLength() const { return output_.size(); }
    size_t outputCapacity() const { return capacity_; }
    // Hands the decoded PCM over; the decoder is left empty.
    PcmBuffer TakeOutput();

    const std::string& fileName() const { return fileName_; }
    int targetRate() const { return targetRate_; }
    int targetChannels() const { return targetChannels_; }
    // errno of the failed open or read behind kDecodeFileError.
    int LastErrno() const { return lastErrno_; }
    // The last decode's statistics (file length, bytes read, PCM length, time).
    const std::string& statistics() const { return statistics_; }

    // Lengths travel as int through the program (log lines, callers), so
    // output beyond this is a failure, not a wrapped length. Tests lower it.
    void SetOutputLimit(size_t bytes) { outputLimit_ = bytes; }
    size_t outputLimit() const { return outputLimit_; }

protected:
    std::string fileName_;
    int targetRate_;
    int targetChannels_;
    int lastErrno_ = 0;
    std::string statistics_;
    size_t outputLimit_;

private:
    PcmBuffer output_;  // reserved to capacity_, never grown past it
    size_t capacity_ = 0;
};

class CAudioDecodeMp3 : public CAudioDecodeBase {
public:
    static constexpr size_t kReadBytes = 65536;
    static constexpr size_t kMaxFrameSamples = 2304;

    CAudioDecodeMp3(std::string fileName, int targetRate, int targetChannels);
    int Decode() override;

    // The last Decode found another container (WAV, Ogg, FLAC, MP4, ...) or
    // a known non-audio file by its first bytes, and decoded nothing.
    bool IsOtherContainer() const { return otherContainer_; }

private:
    class Session;

    bool otherContainer_ = false;
    std::vector<uint8_t> held_;       // a frame's PCM until the next frame vouches for it
    std::vector<uint8_t> converted_;  // one frame out of the resampler
};

}  // namespace tesvano
