#include "audio/mp3_decoder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <lame/lame.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {
namespace {

// Decoding errors end a block and are expected on damaged files; the
// library's own messages would only clutter standard error.
void Silent(const char*, va_list) {}

// Reads until `count` bytes or end of file, at `offset` (or, when it is
// negative, at the file position); -1 on a read error (errno set).
ssize_t ReadFully(int fd, uint8_t* buffer, size_t count, off_t offset = -1) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = offset < 0 ? read(fd, buffer + got, count - got)
                                     : pread(fd, buffer + got, count - got, offset + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// Decoded PCM gathered in 1 MiB blocks and joined once at the end, so the
// output is allocated a single time, at its final size.
class ChunkList {
public:
    static constexpr size_t kChunkBytes = 1048576;

    bool Append(const uint8_t* bytes, size_t length) {
        while (length > 0) {
            if (chunks_.empty() || used_ == kChunkBytes) {
                std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunkBytes]);
                if (!chunk) return false;
                chunks_.push_back(std::move(chunk));
                used_ = 0;
            }
            const size_t n = std::min(length, kChunkBytes - used_);
            std::memcpy(chunks_.back().get() + used_, bytes, n);
            used_ += n;
            bytes += n;
            length -= n;
            total_ += n;
        }
        return true;
    }

    template <typename Sink>
    void ForEach(Sink sink) const {
        for (size_t k = 0; k < chunks_.size(); ++k)
            sink(chunks_[k].get(), k + 1 == chunks_.size() ? used_ : kChunkBytes);
    }

    uint64_t total() const { return total_; }

private:
    std::vector<std::unique_ptr<uint8_t[]>> chunks_;
    size_t used_ = 0;
    uint64_t total_ = 0;
};

// Whether a frame header could start in the block: a superset of the hip
// decoder's own header check (sync, layer, bit rate and rate fields), and a
// 0xFF in the last three bytes, where a header may run into the next block.
bool MayHoldFrameHeader(const uint8_t* block, size_t length) {
    const uint8_t* p = block;
    const uint8_t* end = block + length;
    while ((p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, size_t(end - p)))) != nullptr) {
        if (end - p < 4) return true;
        if ((p[1] & 0xE0) == 0xE0 && (p[1] & 0x06) != 0 && (p[2] & 0xF0) != 0xF0 && (p[2] & 0x0C) != 0x0C)
            return true;
        ++p;
    }
    return false;
}

// No frame is longer than 2880 bytes: after this much without a possible
// header the decoder can only be searching, and feeding it more blocks that
// hold none only grows its buffer, which it rescans whole on every call.
constexpr uint64_t kHeaderlessBytes = 8192;
// A decoder that keeps asking for more data this long has lost the stream
// (the hip decoder only resyncs on frames of the first frame's channel mode
// and rate, and rescans everything it holds on every call): start it afresh.
constexpr uint64_t kStarvedBytes = 8192;

}  // namespace

// ---- CAudioDecodeBase ----

CAudioDecodeBase::CAudioDecodeBase(std::string fileName, int targetRate, int targetChannels)
    : fileName_(std::move(fileName)), targetRate_(targetRate), targetChannels_(targetChannels),
      outputLimit_(INT_MAX) {}

CAudioDecodeBase::~CAudioDecodeBase() = default;

int CAudioDecodeBase::AllocOutput(size_t capacity) {
    PcmBuffer().swap(output_);
    capacity_ = 0;
    try {
        output_.reserve(capacity);
    } catch (const std::exception&) {  // bad_alloc or length_error
        return -1;
    }
    capacity_ = capacity;
    return 0;
}

void CAudioDecodeBase::AppendOutput(size_t length, const uint8_t* bytes) {
    if (length > capacity_ - output_.size()) {
        output_.clear();
        return;
    }
    output_.insert(output_.end(), bytes, bytes + length);  // within the reserved capacity
}

PcmBuffer CAudioDecodeBase::TakeOutput() {
    PcmBuffer out;
    out.swap(output_);
    capacity_ = 0;
    return out;
}

// ---- CAudioDecodeMp3 ----

// One run of Decode: the file, the hip decoder and the resampler, released
// together on every way out.
class CAudioDecodeMp3::Session {
public:
    explicit Session(CAudioDecodeMp3& decoder) : d_(decoder) {}
    ~Session() {
        resampler_.reset();
        if (hip_) hip_decode_exit(hip_);
        if (fd_ >= 0) close(fd_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int Run();

private:
    int FileError() {
        d_.lastErrno_ = errno;
        return kDecodeFileError;
    }
    int Open();
    bool StartHip();
    // Takes t decoded samples per channel; false when decoding must stop.
    bool Process(size_t t, const mp3data_struct& info);

    CAudioDecodeMp3& d_;
    int fd_ = -1;
    hip_t hip_ = nullptr;
    ResamplerPtr resampler_;
    bool configured_ = false;
    int sourceChannels_ = 0;
    int sourceRate_ = 0;
    bool failed_ = false;
    ChunkList chunks_;
};

int CAudioDecodeMp3::Session::Open() {
    // Non-blocking, so a FIFO named *.mp3 cannot hang the open.
    fd_ = open(d_.fileName_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return FileError();
    struct stat st;
    if (fstat(fd_, &st) != 0) return FileError();
    // A folder opens on Linux and only fails at the first read.
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return FileError();
    }
    return kDecodeOk;
}

bool CAudioDecodeMp3::Session::StartHip() {
    if (hip_) hip_decode_exit(hip_);
    hip_ = hip_decode_init();
    if (!hip_) return false;
    hip_set_errorf(hip_, Silent);
    hip_set_debugf(hip_, Silent);
    hip_set_msgf(hip_, Silent);
    return true;
}

bool CAudioDecodeMp3::Session::Process(size_t t, const mp3data_struct& info) {
    if (!configured_) {
        if (!info.header_parsed) return true;  // nothing is known of the stream yet
        configured_ = true;
        sourceChannels_ = info.stereo == 2 ? 2 : 1;
        sourceRate_ = info.samplerate ? info.samplerate : 16000;
        if (sourceChannels_ != d_.targetChannels_ || sourceRate_ != d_.targetRate_) {
            resampler_.reset(CreateResampler(sourceChannels_, d_.targetChannels_, d_.targetRate_, sourceRate_));
            if (!resampler_) {
                failed_ = true;  // a target the resampler cannot produce
                return false;
            }
            d_.converted_.resize(
                ResampleOutputCapacity(resampler_.get(), static_cast<uint32_t>(kMaxFrameSamples * 2 * 2)));
        }
    }

    const int16_t* left = d_.left_.data();
    const int16_t* right = d_.right_.data();
    int16_t* frame = d_.interleaved_.data();
    const bool stereoFrame = info.stereo == 2;
    if (sourceChannels_ == 2) {
        for (size_t i = 0; i < t; ++i) {
            frame[2 * i] = left[i];
            // A mono frame inside a stereo stream plays on both sides.
            frame[2 * i + 1] = stereoFrame ? right[i] : left[i];
        }
    } else if (stereoFrame) {
        for (size_t i = 0; i < t; ++i) frame[i] = static_cast<int16_t>((left[i] + right[i]) >> 1);
    } else {
        frame = d_.left_.data();
    }

    const auto* pcm = reinterpret_cast<const uint8_t*>(frame);
    size_t bytes = t * static_cast<size_t>(sourceChannels_) * 2;
    if (resampler_) {
        bytes = static_cast<size_t>(Resample(resampler_.get(), pcm, d_.converted_.data(), static_cast<uint32_t>(bytes)));
        pcm = d_.converted_.data();
    }
    if (chunks_.total() + bytes > d_.outputLimit_ || !chunks_.Append(pcm, bytes)) {
        failed_ = true;
        return false;
    }
    return true;
}

int CAudioDecodeMp3::Session::Run() {
    if (int rc = Open(); rc != kDecodeOk) return rc;
    struct stat st;
    if (fstat(fd_, &st) != 0) return FileError();
    const int64_t fileLength = st.st_size;
    if (fileLength == 0) return kDecodeEmptyFile;

    if (!StartHip()) return kDecodeFailed;
    const uint32_t start = GetTickCount32();

    // A leading ID3v2 tag: its size bytes are taken whole, as written.
    uint8_t head[10];
    const ssize_t headLength = ReadFully(fd_, head, sizeof head, 0);
    if (headLength < 0) return FileError();
    uint64_t offset = 0;
    if (headLength == 10 && std::memcmp(head, "ID3", 3) == 0)
        offset = (uint64_t{head[6]} << 21 | uint64_t{head[7]} << 14 | uint64_t{head[8]} << 7 | uint64_t{head[9]}) + 10;
    if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return FileError();

    // Read in large pieces, hand the decoder 640-byte blocks: the blocks are
    // exactly those of 640-byte reads, for far fewer system calls.
    constexpr size_t kReadBytes = kInputBlock * 100;
    std::unique_ptr<uint8_t[]> readBuffer(new (std::nothrow) uint8_t[kReadBytes]);
    if (!readBuffer) return kDecodeFailed;
    size_t bufferLength = 0, bufferPos = 0;
    bool endOfFile = false;
    uint64_t readCount = 0;
    uint64_t headerless = 0, starved = 0;
    mp3data_struct info{};
    uint8_t* block = d_.input_.data();

    while (!failed_) {
        if (bufferPos == bufferLength) {
            if (endOfFile) break;
            const ssize_t n = ReadFully(fd_, readBuffer.get(), kReadBytes);
            if (n < 0) return FileError();
            bufferLength = static_cast<size_t>(n);
            bufferPos = 0;
            endOfFile = bufferLength < kReadBytes;
            if (bufferLength == 0) break;
        }
        const size_t got = std::min(kInputBlock, bufferLength - bufferPos);
        std::memcpy(block, readBuffer.get() + bufferPos, got);
        bufferPos += got;
        if (got < kInputBlock) std::memset(block + got, 0, kInputBlock - got);
        readCount += got;

        if (MayHoldFrameHeader(block, kInputBlock)) {
            headerless = 0;
        } else if ((headerless += kInputBlock) > kHeaderlessBytes) {
            continue;
        }
        if (starved > kStarvedBytes) {
            if (!StartHip()) return kDecodeFailed;
            starved = 0;
        }
        int t = hip_decode1_headers(hip_, block, kInputBlock, d_.left_.data(), d_.right_.data(), &info);
        starved = t == 0 ? starved + kInputBlock : 0;
        while (t >= 1 && t <= static_cast<int>(kMaxFrameSamples)) {
            if (!Process(static_cast<size_t>(t), info)) break;
            t = hip_decode1_headers(hip_, nullptr, 0, d_.left_.data(), d_.right_.data(), &info);
        }
    }
    // The decoder holds back the frames of about one block until more data
    // follows; silence after the end lets it finish them instead of losing
    // the end of the audio.
    for (int flush = 0; flush < 4 && !failed_; ++flush) {
        std::memset(block, 0, kInputBlock);
        bool produced = false;
        int t = hip_decode1_headers(hip_, block, kInputBlock, d_.left_.data(), d_.right_.data(), &info);
        while (t >= 1 && t <= static_cast<int>(kMaxFrameSamples) && Process(static_cast<size_t>(t), info)) {
            produced = true;
            t = hip_decode1_headers(hip_, nullptr, 0, d_.left_.data(), d_.right_.data(), &info);
        }
        if (!produced) break;
    }
    resampler_.reset();
    hip_decode_exit(hip_);
    hip_ = nullptr;
    close(fd_);
    fd_ = -1;
    if (failed_) return kDecodeFailed;

    const uint64_t total = chunks_.total();
    // Always larger than the total: rounded down to 1 KiB, plus 1 KiB.
    if (d_.AllocOutput(static_cast<size_t>((total / 1024 + 1) * 1024)) != 0) return kDecodeFailed;
    chunks_.ForEach([this](const uint8_t* bytes, size_t length) { d_.AppendOutput(length, bytes); });

    char line[256];
    std::snprintf(line, sizeof line, "文件长%d,共读取数据%lld,输出PCM长度%lld,花费时间%dms. 输出缓冲区数据长度%lld",
                  static_cast<int32_t>(static_cast<uint32_t>(fileLength)), static_cast<long long>(readCount),
                  static_cast<long long>(total), static_cast<int32_t>(GetTickCount32() - start),
                  static_cast<long long>(d_.outputLength()));
    d_.statistics_ = line;
    return kDecodeOk;
}

CAudioDecodeMp3::CAudioDecodeMp3(std::string fileName, int targetRate, int targetChannels)
    : CAudioDecodeBase(std::move(fileName), targetRate, targetChannels) {}

int CAudioDecodeMp3::Decode() {
    lastErrno_ = 0;
    statistics_.clear();
    TakeOutput();
    try {
        Session session(*this);
        return session.Run();
    } catch (const std::bad_alloc&) {
        TakeOutput();
        return kDecodeFailed;
    }
}

std::u16string DescribeFileError(const std::string& fileName, int error) {
    return AnsiToWide(fileName) + u": " + AnsiToWide(std::strerror(error));
}

}  // namespace tesvano
