#include "audio/mp3_encoder.h"

#include <climits>
#include <cstring>
#include <lame/lame.h>
#include <new>
#include <span>

#include "platform/file.h"
#include "platform/system.h"

namespace tesvano {
namespace {

// LAME's documented worst case for one call: 1.25 x samples + 7200 bytes.
constexpr size_t WorstCaseBytes(size_t samples) { return samples + samples / 4 + 7200; }

int ClampToInt(size_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

int LameEncodeChunk(lame_global_struct* lame, const short* samples, int count, uint8_t* out, int outSize) {
    return lame_encode_buffer(lame, samples, nullptr, count, out, outSize);
}

constexpr uint64_t kFrameSamples = 576;
constexpr uint64_t kAddedFrames = 2;
constexpr uint64_t kId3v1Bytes = 128;

uint64_t FrameBytes(int sampleRate) { return 576000 / static_cast<uint64_t>(sampleRate); }

}  // namespace

uint64_t PredictMp3Bytes(int sampleRate, uint64_t samples) {
    const uint64_t frames = (samples + kFrameSamples - 1) / kFrameSamples + kAddedFrames;
    return kId3v1Bytes + frames * FrameBytes(sampleRate);
}

uint64_t MaxSamplesWithin(int sampleRate, uint64_t bytes) {
    if (bytes < kId3v1Bytes) return 0;
    const uint64_t frames = (bytes - kId3v1Bytes) / FrameBytes(sampleRate);
    return frames > kAddedFrames ? (frames - kAddedFrames) * kFrameSamples : 0;
}

CMp3Encoder::CMp3Encoder(int sampleRate, size_t initialCapacity)
    : sampleRate_(sampleRate),
      initialCapacity_(initialCapacity ? initialCapacity : kInitialCapacity),
      encodeChunk_(LameEncodeChunk) {
    ready_ = Init();
}

CMp3Encoder::~CMp3Encoder() {
    if (lame_) lame_close(lame_);
}

int CMp3Encoder::Init() {
    lame_ = lame_init();
    if (!lame_) return 0;
    if (lame_set_in_samplerate(lame_, sampleRate_) != 0) return 0;
    lame_set_out_samplerate(lame_, sampleRate_);
    lame_set_num_channels(lame_, 1);
    lame_set_mode(lame_, MONO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, 8);
    lame_set_quality(lame_, 7);
    if (lame_init_params(lame_) != 0) return 0;
    id3tag_set_artist(lame_, kId3Artist);
    id3tag_set_album(lame_, kId3Album);
    id3tag_set_title(lame_, kId3Title);
    output_.reset(new (std::nothrow) uint8_t[initialCapacity_]);
    if (!output_) return 0;
    capacity_ = initialCapacity_;
    return 1;
}

bool CMp3Encoder::Reserve(size_t bytes) {
    if (capacity_ - length_ >= bytes) return true;
    size_t wanted = capacity_;
    while (wanted - length_ < bytes) wanted += initialCapacity_;
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[wanted]);
    if (!bigger) return false;
    std::memcpy(bigger.get(), output_.get(), length_);
    output_ = std::move(bigger);
    capacity_ = wanted;
    return true;
}

int CMp3Encoder::Encode(const uint8_t* pcm, size_t length) {
    if (!ready_) return 0;
    length_ = 0;
    // A half-built stream must never reach SaveToFile.
    auto fail = [this] {
        length_ = 0;
        return 0;
    };
    short chunk[kChunkBytes / 2];
    for (size_t offset = 0; offset < length; offset += kChunkBytes) {
        const size_t bytes = length - offset >= kChunkBytes ? kChunkBytes : length - offset;
        const size_t samples = bytes / 2;
        // Grow before a chunk could overflow: audio is never dropped silently.
        if (!Reserve(WorstCaseBytes(samples))) return fail();
        std::memcpy(chunk, pcm + offset, samples * 2);
        int n = encodeChunk_(lame_, chunk, static_cast<int>(samples), output_.get() + length_,
                             ClampToInt(capacity_ - length_));
        if (n < 0) return fail();
        length_ += static_cast<size_t>(n);
    }
    if (!Reserve(7200)) return fail();
    int n = lame_encode_flush(lame_, output_.get() + length_, ClampToInt(capacity_ - length_));
    if (n <= 0) return fail();
    length_ += static_cast<size_t>(n);
    return 1;
}

int CMp3Encoder::SaveToFile(const std::string& fileName) {
    if (!ready_ || !output_ || length_ == 0) return 0;
    return WriteWholeFile(fileName, std::span<const uint8_t>(output_.get(), length_)) == WriteStatus::kOk ? 1 : 0;
}

int CMp3Encoder::OpenWithShell(const std::string& fileName) {
    OpenWithDesktop(fileName);
    return 1;
}

}  // namespace tesvano
