#include "sdk/msc/answer_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mpg123.h>
#include <soxr.h>

namespace msc {
namespace {

// Headers with this much in front of the samples, or MP3 answers with this
// much and no frame, are not what the server was asked for.
constexpr size_t kMaxWavHeaderBytes = 1 << 20;
constexpr uint64_t kMaxMp3BytesBeforeAudio = 256 << 10;
// Frames mixed down and resampled at a time, so a large piece of the answer
// never needs its whole decoded size at once.
constexpr size_t kFramesPerBlock = 1 << 16;

uint32_t Le16(const char* p) { return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8; }
uint32_t Le32(const char* p) { return Le16(p) | Le16(p + 2) << 16; }

int16_t ToInt16(float x) {
    return int16_t(std::lrint(std::clamp(x * 32768.0f, -32768.0f, 32767.0f)));
}

}  // namespace

AnswerDecoder::AnswerDecoder(ServerFormat format, int outRate, float gain)
    : format_(format), outRate_(outRate), gain_(std::clamp(gain, 0.0f, 1.0f)) {}

AnswerDecoder::~AnswerDecoder() {
    if (resampler_) soxr_delete(resampler_);
    if (mp3_) mpg123_delete(mp3_);
}

int AnswerDecoder::Refuse(const std::string& why, int code) {
    refused_ = code;
    problem_ = why;
    return code;
}

int AnswerDecoder::SetSourceRate(int rate) {
    if (rate < kMinAnswerRate || rate > kMaxAnswerRate) return Refuse("sample rate " + std::to_string(rate) + " Hz");
    if (rate == sourceRate_) return MSP_SUCCESS;
    if (sourceRate_ != 0) return Refuse("the sample rate changes inside the answer");
    sourceRate_ = rate;
    if (rate == outRate_) return MSP_SUCCESS;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;  // the same answer always gives the same samples
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    resampler_ = soxr_create(rate, outRate_, 1, &error, &io, &quality, nullptr);
    if (error || !resampler_) {
        resampler_ = nullptr;
        return MSP_ERROR_ENGINE;
    }
    return MSP_SUCCESS;
}

int AnswerDecoder::Emit(const float* samples, size_t count, std::vector<int16_t>* out) {
    if (count == 0) return MSP_SUCCESS;
    anyAudio_ = true;
    // Refused before the work: an MP3 answer decodes to many times its size.
    const double ratio = sourceRate_ > 0 ? double(outRate_) / sourceRate_ : 1.0;
    const uint64_t coming = uint64_t(double(count) * ratio) + 1;
    if ((emitted_ + coming) * sizeof(int16_t) > kMaxDecodedBytes)
        return Refuse("its audio is larger than 64 MiB at " + std::to_string(outRate_) + " Hz",
                      MSP_ERROR_SERVER_TOO_LARGE);
    if (!resampler_) {
        const size_t start = out->size();
        out->resize(start + count);
        for (size_t i = 0; i < count; ++i) (*out)[start + i] = ToInt16(samples[i] * gain_);
        emitted_ += count;
        return MSP_SUCCESS;
    }
    if (gain_ < 1.0f) {
        scaled_.assign(samples, samples + count);
        for (float& x : scaled_) x *= gain_;
        samples = scaled_.data();
    }
    // In blocks: handed a whole answer at once, soxr grows its own buffers
    // step by step, copying them each time.
    constexpr size_t kBlock = 1 << 16;
    const size_t before = out->size();
    size_t produced = before;
    out->reserve(produced + size_t(double(count) * outRate_ / sourceRate_) + 64);
    while (count > 0) {
        const size_t block = std::min(count, kBlock);
        const size_t room = size_t(double(block) * outRate_ / sourceRate_) + 64;
        out->resize(produced + room);
        size_t used = 0, made = 0;
        if (soxr_process(resampler_, samples, block, &used, out->data() + produced, room, &made)) break;
        produced += made;
        samples += used;
        count -= used;
        if (used == 0 && made == 0) break;
    }
    emitted_ += produced - before;
    out->resize(produced);
    return MSP_SUCCESS;
}

// Frames of channels_ × bytesPerSample_ bytes, mixed down to mono.
int AnswerDecoder::DecodeFrames(const uint8_t* data, size_t frames, std::vector<int16_t>* out) {
    const size_t step = size_t(bytesPerSample_);
    while (frames > kFramesPerBlock) {
        if (int r = DecodeFrames(data, kFramesPerBlock, out)) return r;
        data += kFramesPerBlock * size_t(channels_) * step;
        frames -= kFramesPerBlock;
    }
    std::vector<float>& mono = decoded_;
    mono.resize(frames);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < channels_; ++c) {
            const char* p = reinterpret_cast<const char*>(data) + (f * size_t(channels_) + size_t(c)) * step;
            float x;
            if (float_) {
                uint32_t bits = Le32(p);
                std::memcpy(&x, &bits, 4);
                if (!std::isfinite(x)) x = 0;
                x = std::clamp(x, -1.0f, 1.0f);
            } else if (step == 1) {
                x = (float(uint8_t(p[0])) - 128.0f) / 128.0f;
            } else if (step == 2) {
                x = float(int16_t(Le16(p))) / 32768.0f;
            } else if (step == 3) {
                const uint32_t bits = uint32_t(uint8_t(p[0])) << 8 | uint32_t(uint8_t(p[1])) << 16 |
                                      uint32_t(uint8_t(p[2])) << 24;
                x = float(double(int32_t(bits)) / 2147483648.0);
            } else {
                x = float(double(int32_t(Le32(p))) / 2147483648.0);
            }
            sum += x;
        }
        mono[f] = sum / float(channels_);
    }
    return Emit(mono.data(), mono.size(), out);
}

int AnswerDecoder::Feed(const uint8_t* data, size_t size, std::vector<int16_t>* out) {
    if (refused_) return refused_;
    if (size == 0) return MSP_SUCCESS;
    switch (format_) {
        case ServerFormat::kWav: return FeedWav(data, size, out);
        case ServerFormat::kPcm: return FeedPcm(data, size, out);
        case ServerFormat::kMp3: return FeedMp3(data, size, out);
    }
    return MSP_ERROR_ENGINE;
}

int AnswerDecoder::FeedPcm(const uint8_t* data, size_t size, std::vector<int16_t>* out) {
    if (sourceRate_ == 0) {
        channels_ = 1;
        bytesPerSample_ = 2;
        if (int r = SetSourceRate(kServerPcmRate)) return r;
    }
    if (!pending_.empty()) {  // the second byte of a sample split between pieces
        pending_.push_back(char(*data));
        if (int r = DecodeFrames(reinterpret_cast<const uint8_t*>(pending_.data()), 1, out)) return r;
        pending_.clear();
        ++data;
        --size;
    }
    if (int r = DecodeFrames(data, size / 2, out)) return r;
    if (size % 2) pending_.assign(reinterpret_cast<const char*>(data) + size - 1, 1);
    return MSP_SUCCESS;
}

// 1 while more bytes are needed, MSP_SUCCESS once pending_ holds only samples.
int AnswerDecoder::ParseWavHeader() {
    if (pending_.size() < 12) {
        const size_t n = pending_.size();
        if (std::memcmp(pending_.data(), "RIFF", std::min<size_t>(n, 4)) != 0 &&
            std::memcmp(pending_.data(), "RF64", std::min<size_t>(n, 4)) != 0)
            return Refuse("no RIFF header");
        return 1;
    }
    if ((std::memcmp(pending_.data(), "RIFF", 4) != 0 && std::memcmp(pending_.data(), "RF64", 4) != 0) ||
        std::memcmp(pending_.data() + 8, "WAVE", 4) != 0)
        return Refuse("no RIFF/WAVE header");
    size_t at = 12;
    bool haveFormat = channels_ > 0;
    while (pending_.size() >= at + 8) {
        const char* chunk = pending_.data() + at;
        const uint32_t size = Le32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return Refuse("samples before their format");
            dataLeft_ = size == 0 || size == 0xFFFFFFFFu ? UINT64_MAX : size;
            pending_.erase(0, at + 8);
            wavStage_ = WavStage::kData;
            return MSP_SUCCESS;
        }
        if (size > kMaxWavHeaderBytes) return Refuse("a header chunk of " + std::to_string(size) + " bytes");
        const size_t next = at + 8 + size + (size & 1);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) return Refuse("a short format chunk");
            if (pending_.size() < at + 8 + 16) return 1;
            const char* f = chunk + 8;
            uint32_t tag = Le16(f);
            if (tag == 0xFFFE) {
                if (size < 40) return Refuse("a short extensible format chunk");
                if (pending_.size() < at + 8 + 40) return 1;
                tag = Le16(f + 24);  // the first bytes of the subformat GUID
            }
            const int channels = int(Le16(f + 2));
            const uint32_t rate = Le32(f + 4);
            const int bits = int(Le16(f + 14));
            const bool isFloat = tag == 3 && bits == 32;
            const bool isInt = tag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            if (!isFloat && !isInt)
                return Refuse("WAV format " + std::to_string(tag) + " with " + std::to_string(bits) + " bits");
            if (channels < 1 || channels > 16) return Refuse(std::to_string(channels) + " channels");
            if (rate > uint32_t(kMaxAnswerRate)) return Refuse("sample rate " + std::to_string(rate) + " Hz");
            if (int r = SetSourceRate(int(rate))) return r;
            channels_ = channels;
            bytesPerSample_ = bits / 8;
            float_ = isFloat;
            haveFormat = true;
        }
        at = next;
    }
    if (pending_.size() > kMaxWavHeaderBytes) return Refuse("no samples in the first MiB");
    return 1;
}

int AnswerDecoder::FeedWav(const uint8_t* data, size_t size, std::vector<int16_t>* out) {
    if (wavStage_ == WavStage::kHeader) {
        pending_.append(reinterpret_cast<const char*>(data), size);
        const int r = ParseWavHeader();
        if (r != MSP_SUCCESS) return r == 1 ? MSP_SUCCESS : r;
        std::string rest;
        rest.swap(pending_);
        return rest.empty() ? MSP_SUCCESS : FeedWav(reinterpret_cast<const uint8_t*>(rest.data()), rest.size(), out);
    }
    if (wavStage_ == WavStage::kAfterData) return MSP_SUCCESS;  // chunks after the samples
    if (dataLeft_ != UINT64_MAX) {
        size = size_t(std::min<uint64_t>(size, dataLeft_));
        dataLeft_ -= size;
        if (dataLeft_ == 0) wavStage_ = WavStage::kAfterData;
    }
    const size_t frameBytes = size_t(channels_) * size_t(bytesPerSample_);
    if (!pending_.empty()) {
        const size_t take = std::min(size, frameBytes - pending_.size());
        pending_.append(reinterpret_cast<const char*>(data), take);
        data += take;
        size -= take;
        if (pending_.size() < frameBytes) return MSP_SUCCESS;
        if (int r = DecodeFrames(reinterpret_cast<const uint8_t*>(pending_.data()), 1, out)) return r;
        pending_.clear();
    }
    const size_t frames = size / frameBytes;
    if (int r = DecodeFrames(data, frames, out)) return r;
    pending_.assign(reinterpret_cast<const char*>(data) + frames * frameBytes, size - frames * frameBytes);
    return MSP_SUCCESS;
}

int AnswerDecoder::FeedMp3(const uint8_t* data, size_t size, std::vector<int16_t>* out) {
    if (!mp3_) {
        int error = MPG123_OK;
        mp3_ = mpg123_new(nullptr, &error);
        if (!mp3_) return MSP_ERROR_ENGINE;
        // Mono 16-bit at the stream's rate; libmpg123 mixes stereo down.
        bool ok = mpg123_param(mp3_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0.0) == MPG123_OK &&
                  mpg123_format_none(mp3_) == MPG123_OK;
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; ok && i < count; ++i)
            ok = mpg123_format(mp3_, rates[i], MPG123_MONO, MPG123_ENC_SIGNED_16) == MPG123_OK;
        if (!ok || mpg123_open_feed(mp3_) != MPG123_OK) return MSP_ERROR_ENGINE;
        channels_ = 1;
        bytesPerSample_ = 2;
    }
    if (mpg123_feed(mp3_, data, size) != MPG123_OK) return Refuse("MP3 decoder refused the data");
    if (!anyAudio_) mp3BytesWithoutAudio_ += size;
    unsigned char buffer[16384];
    for (;;) {
        size_t done = 0;
        const int rc = mpg123_read(mp3_, buffer, sizeof buffer, &done);
        if (done >= 2)
            if (int r = DecodeFrames(buffer, done / 2, out)) return r;
        if (rc == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            if (mpg123_getformat(mp3_, &rate, &channels, &encoding) != MPG123_OK) return MSP_ERROR_ENGINE;
            if (int r = SetSourceRate(int(rate))) return r;
            continue;
        }
        if (rc == MPG123_OK) continue;
        if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) break;
        return Refuse(std::string("not MP3 audio (") + mpg123_plain_strerror(rc) + ")");
    }
    if (!anyAudio_ && mp3BytesWithoutAudio_ > kMaxMp3BytesBeforeAudio) return Refuse("no MP3 frame in the first 256 KiB");
    return MSP_SUCCESS;
}

int AnswerDecoder::Finish(std::vector<int16_t>* out) {
    if (refused_) return refused_;
    if (format_ == ServerFormat::kWav && wavStage_ == WavStage::kHeader)
        return Refuse(pending_.empty() ? "an empty answer" : "a WAV header without samples");
    if (resampler_) {
        size_t produced = out->size();
        for (;;) {
            const size_t room = 4096;
            out->resize(produced + room);
            size_t used = 0, made = 0;
            if (soxr_process(resampler_, nullptr, 0, &used, out->data() + produced, room, &made)) break;
            produced += made;
            emitted_ += made;
            if (made == 0) break;
        }
        out->resize(produced);
    }
    if (!anyAudio_) return Refuse(format_ == ServerFormat::kMp3 ? "no MP3 frame in the answer" : "no samples in the answer");
    return MSP_SUCCESS;
}

}  // namespace msc
