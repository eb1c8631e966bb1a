// Encodes one whole PCM buffer (16-bit mono) into the camera format:
// MPEG layer III, mono, CBR 8 kbit/s at the PCM's rate, with fixed ID3 texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct lame_global_struct;

namespace tesvano {

inline constexpr char kId3Artist[] = "Tesvano";  // seven ASCII characters
inline constexpr char kId3Album[] = "https://tesvano.example";
inline constexpr char kId3Title[] = "for ipcamera";

// The size of what CMp3Encoder makes of `samples` samples at 8000 or 16000
// Hz, known before encoding: at 8 kbit/s every frame of 576 samples takes
// 576000 / rate bytes (36 or 72, never padded); LAME's delay and flush add
// two frames to the input's own, and the ID3v1 tag 128 bytes.
uint64_t PredictMp3Bytes(int sampleRate, uint64_t samples);
// The most samples whose MP3 stays within `bytes` (0 when even silence would not).
uint64_t MaxSamplesWithin(int sampleRate, uint64_t bytes);

class CMp3Encoder {
public:
    static constexpr size_t kInitialCapacity = 10485760;  // 10 MiB
    static constexpr size_t kChunkBytes = 4096;            // 2048 samples

    // initialCapacity is for tests that need the buffer to grow.
    explicit CMp3Encoder(int sampleRate, size_t initialCapacity = kInitialCapacity);
    virtual ~CMp3Encoder();
    CMp3Encoder(const CMp3Encoder&) = delete;
    CMp3Encoder& operator=(const CMp3Encoder&) = delete;

    // Feeds one chunk to LAME; same contract as lame_encode_buffer with no right channel.
    using EncodeChunkFn = std::function<int(lame_global_struct*, const short* samples, int count,
                                            uint8_t* out, int outSize)>;

    int Init();
    // 1 when the whole PCM was encoded and flushed; 0 otherwise, and then no stream is kept.
    int Encode(const uint8_t* pcm, size_t length);
    // 1 when the file was written whole; 0 otherwise (nothing is left behind).
    int SaveToFile(const std::string& fileName);
    // Hands the file to the desktop's player; always 1.
    static int OpenWithShell(const std::string& fileName);

    bool ready() const { return ready_ != 0; }
    const uint8_t* data() const { return output_.get(); }
    size_t length() const { return length_; }
    size_t capacity() const { return capacity_; }
    // Lets tests see or fail the chunks fed to LAME.
    void SetEncodeChunk(EncodeChunkFn fn) { encodeChunk_ = std::move(fn); }

private:
    // Makes room for at least `bytes` more output; false when memory runs out.
    bool Reserve(size_t bytes);

    lame_global_struct* lame_ = nullptr;
    int ready_ = 0;
    std::unique_ptr<uint8_t[]> output_;
    size_t capacity_ = 0;
    size_t length_ = 0;
    int sampleRate_;
    size_t initialCapacity_;
    EncodeChunkFn encodeChunk_;
};

}  // namespace tesvano
