#include "audio/mp3_decoder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mpg123.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"

namespace tesvano {
namespace {

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

// Files that are certainly not MPEG audio, by their first bytes. Their data
// (PCM above all) holds chance frame headers that would decode as noise.
bool LooksLikeOtherFile(const uint8_t* b, size_t n) {
    auto at = [&](size_t offset, const char* magic, size_t length) {
        return n >= offset + length && std::memcmp(b + offset, magic, length) == 0;
    };
    static const char* const kMagics[] = {
        "RIFF", "RIFX", "RF64",   // WAV, AVI, WebP
        "OggS", "fLaC", "FORM",   // Ogg, FLAC, AIFF
        "caff", "wvpk", "MAC ",   // CAF, WavPack, Monkey's Audio
        "#!AMR", "MThd", ".snd",  // AMR, MIDI, AU
        "\x1A\x45\xDF\xA3",       // Matroska, WebM
        "\x30\x26\xB2\x75",       // ASF, WMA
        "\x89PNG", "GIF8", "\xFF\xD8\xFF", "%PDF", "PK\x03\x04", "\x7F\x45LF" /* ELF */,
    };
    for (const char* magic : kMagics)
        if (at(0, magic, std::strlen(magic))) return true;
    return at(4, "ftyp", 4);  // MP4, M4A, 3GP, MOV
}

// What fixes a stream's configuration and must stay the same from frame to
// frame; junk that happens to hold a frame header rarely matches all of it.
struct FrameShape {
    int version = 0;
    int layer = 0;
    long rate = 0;
    int channels = 0;
    bool operator==(const FrameShape&) const = default;
};

// Stereo 16-bit samples averaged into mono, (l + r) >> 1 with an arithmetic
// shift, over the same buffer; the mono byte count.
size_t DownmixInPlace(uint8_t* pcm, size_t bytes) {
    const size_t frames = bytes / 4;
    for (size_t i = 0; i < frames; ++i) {
        int16_t lr[2];
        std::memcpy(lr, pcm + 4 * i, sizeof lr);
        const auto mono = static_cast<int16_t>((int32_t{lr[0]} + int32_t{lr[1]}) >> 1);
        std::memcpy(pcm + 2 * i, &mono, sizeof mono);
    }
    return frames * 2;
}

// Which decoded frames reach the output. A frame is trusted when it starts
// exactly where a trusted frame of the same shape ended. The first frame, and
// the first after a gap (junk, a tag, a resync), is held back until the next
// frame follows it without a gap, or the file ends exactly where it does;
// junk seldom holds two chained headers.
//
// After frames were decoded and thrown away the decoder still holds their
// state: the bit reservoir reaches back up to 511 bytes, and the overlap and
// synthesis history two frames. A chain's output starts once both come from
// the chain alone ("clean").
class FrameTrust {
public:
    enum class State {
        kSearching,  // no trusted chain and nothing held: the next frame is held
        kHolding,    // one frame held back until the next follows it
        kChained,    // a frame that follows the last one goes out at once
    };

    // The frame held back: where it ends, its shape and PCM length; its PCM
    // was kept only when it is clean.
    struct Held {
        bool clean = false;
        int64_t end = 0;
        FrameShape shape;
        size_t bytes = 0;
    };

    // What to do with a usable frame, in this order.
    struct Verdict {
        bool releaseHeld = false;  // the held frame is trusted: out with it when clean
        bool emit = false;         // this frame goes out now
        bool hold = false;         // keep this frame's PCM until the next frame says
    };

    State state() const { return state_; }
    const Held& held() const { return held_; }

    // Every decoded frame in turn, used or not: whether it starts where the
    // one before it ended, in the same shape.
    bool Follows(int64_t start, int64_t end, const FrameShape& shape) {
        const bool follows = havePrevious_ && start == previousEnd_ && shape == previousShape_;
        havePrevious_ = true;
        previousEnd_ = end;
        previousShape_ = shape;
        return follows;
    }

    // A frame decoded and thrown away, or a damaged one: the chain breaks, a
    // held frame is forgotten, and the decoder's state is no longer clean.
    void Drop() {
        state_ = State::kSearching;
        droppedSinceChain_ = true;
    }

    // A usable frame, after Follows said whether it follows.
    Verdict Take(bool follows, const FrameShape& shape, int frameSize, int64_t end, size_t bytes) {
        Verdict verdict;
        if (state_ == State::kHolding) {
            if (follows) {
                verdict.releaseHeld = true;
                state_ = State::kChained;
            } else {
                Drop();  // the held frame was junk, and it was decoded
            }
        }
        const bool chained = follows && state_ == State::kChained;
        if (!chained) StartChain();
        const bool clean = CountFrame(frameSize);
        if (chained) {
            verdict.emit = clean;
            return verdict;
        }
        state_ = State::kHolding;
        held_ = {clean, end, shape, bytes};
        verdict.hold = clean;
        return verdict;
    }

    // The frame held back, when it is clean and ends exactly at `end`.
    const Held* CleanHeldEndingAt(int64_t end) const {
        return state_ == State::kHolding && held_.clean && held_.end == end ? &held_ : nullptr;
    }

private:
    // Bit reservoir reach, and a frame's header, CRC and side information at
    // most: frames after a resync must carry this much data before the
    // decoder holds none from before it.
    static constexpr int kReservoirBytes = 512;
    static constexpr int kFrameOverhead = 40;

    void StartChain() {
        chainAfterDrops_ = droppedSinceChain_;
        droppedSinceChain_ = false;
        chainData_ = 0;
        cleanRun_ = 0;
    }

    // Counts a frame of the chain in; whether it is clean.
    bool CountFrame(int frameSize) {
        const bool stateClean = !chainAfterDrops_ || chainData_ >= kReservoirBytes;
        const bool clean = stateClean && (!chainAfterDrops_ || cleanRun_ >= 2);
        cleanRun_ = stateClean ? cleanRun_ + 1 : 0;
        chainData_ += std::max(0, frameSize - kFrameOverhead);
        return clean;
    }

    State state_ = State::kSearching;
    Held held_;

    // The last decoded frame, used or not.
    bool havePrevious_ = false;
    int64_t previousEnd_ = 0;
    FrameShape previousShape_;

    // Frames were thrown away since the current chain began.
    bool droppedSinceChain_ = false;
    // The current chain: whether thrown-away frames came before it, the frame
    // data it has given the decoder, its frames decoded from its data alone.
    bool chainAfterDrops_ = false;
    int chainData_ = 0;
    int cleanRun_ = 0;
};

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

// One run of Decode: the file, the frame decoder and the resampler, released
// together on every way out.
class CAudioDecodeMp3::Session {
public:
    explicit Session(CAudioDecodeMp3& decoder) : d_(decoder) {}
    ~Session() {
        resampler_.reset();
        if (mh_) mpg123_delete(mh_);
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
    bool StartDecoder();
    // Decodes every complete frame fed so far; false when decoding must stop.
    bool DecodeFrames();
    void TakeFrame(uint8_t* pcm, size_t bytes);
    bool Configure(const FrameShape& shape);
    void Emit(const uint8_t* pcm, size_t bytes);

    CAudioDecodeMp3& d_;
    int fd_ = -1;
    mpg123_handle* mh_ = nullptr;
    ResamplerPtr resampler_;
    // The stream's shape, fixed by its first trusted frame.
    bool configured_ = false;
    FrameShape streamShape_;
    bool failed_ = false;
    ChunkList chunks_;

    // The decoder's current output format.
    long outRate_ = 0;
    int outChannels_ = 0;
    int outEncoding_ = 0;

    FrameTrust trust_;
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

bool CAudioDecodeMp3::Session::StartDecoder() {
    int error = MPG123_OK;
    mh_ = mpg123_new(nullptr, &error);
    if (!mh_) return false;
    // Lengths as the frames give them (no gapless trimming), at the file's
    // own rate and channels as 16-bit samples, quiet about damaged data, and
    // searching through junk of any length.
    const long params[][2] = {
        {MPG123_ADD_FLAGS, MPG123_QUIET},
        {MPG123_REMOVE_FLAGS, MPG123_GAPLESS},
        {MPG123_FORCE_RATE, 0},
        {MPG123_RESYNC_LIMIT, -1},
    };
    for (const auto& p : params)
        if (mpg123_param(mh_, static_cast<mpg123_parms>(p[0]), p[1], 0.0) != MPG123_OK) return false;
    if (mpg123_format_none(mh_) != MPG123_OK) return false;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        if (mpg123_format(mh_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) return false;
    return mpg123_open_feed(mh_) == MPG123_OK;
}

bool CAudioDecodeMp3::Session::Configure(const FrameShape& shape) {
    configured_ = true;
    streamShape_ = shape;
    const int rate = static_cast<int>(shape.rate);
    if (shape.channels == d_.targetChannels_ && rate == d_.targetRate_) return true;
    resampler_.reset(CreateResampler(shape.channels, d_.targetChannels_, d_.targetRate_, rate));
    if (!resampler_) return false;  // a target the resampler cannot produce
    d_.converted_.resize(ResampleOutputCapacity(resampler_.get(), static_cast<uint32_t>(kMaxFrameSamples * 2 * 2)));
    return true;
}

void CAudioDecodeMp3::Session::Emit(const uint8_t* pcm, size_t bytes) {
    if (resampler_) {
        bytes = static_cast<size_t>(Resample(resampler_.get(), pcm, d_.converted_.data(), static_cast<uint32_t>(bytes)));
        pcm = d_.converted_.data();
    }
    if (chunks_.total() + bytes > d_.outputLimit_ || !chunks_.Append(pcm, bytes)) failed_ = true;
}

void CAudioDecodeMp3::Session::TakeFrame(uint8_t* pcm, size_t bytes) {
    mpg123_frameinfo info{};
    if (mpg123_info(mh_, &info) != MPG123_OK) return;
    const int64_t position = mpg123_framepos(mh_);
    const int64_t end = position + info.framesize;
    FrameShape shape{info.version, info.layer, info.rate, info.mode == MPG123_M_MONO ? 1 : 2};
    const bool follows = trust_.Follows(position, end, shape);

    // Frames of another rate or layout than the stream's are dropped, never
    // decoded with its settings; so is anything the output cannot carry.
    // Stereo frames in a stream that began mono are the exception: they are
    // averaged into it.
    const size_t frameBytes = static_cast<size_t>(shape.channels) * 2;
    const bool intoMono = configured_ && streamShape_.channels == 1 && shape.channels == 2 &&
                          shape == FrameShape{streamShape_.version, streamShape_.layer, streamShape_.rate, 2};
    if ((configured_ && !(shape == streamShape_) && !intoMono) || outEncoding_ != MPG123_ENC_SIGNED_16 ||
        outRate_ != shape.rate || outChannels_ != shape.channels || bytes % frameBytes != 0 ||
        bytes > kMaxFrameSamples * 2 * 2) {
        trust_.Drop();
        return;
    }
    if (intoMono) {
        bytes = DownmixInPlace(pcm, bytes);
        shape.channels = 1;
    }

    const FrameTrust::Verdict verdict = trust_.Take(follows, shape, info.framesize, end, bytes);
    if (verdict.releaseHeld) {
        const FrameTrust::Held& held = trust_.held();
        if (!configured_ && !Configure(held.shape)) {
            failed_ = true;
            return;
        }
        if (held.clean) Emit(d_.held_.data(), held.bytes);
    }
    if (verdict.emit) Emit(pcm, bytes);
    if (verdict.hold) std::memcpy(d_.held_.data(), pcm, bytes);
}

bool CAudioDecodeMp3::Session::DecodeFrames() {
    for (;;) {
        off_t frameNumber = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int rc = mpg123_decode_frame(mh_, &frameNumber, &audio, &bytes);
        if (rc == MPG123_NEED_MORE) return true;
        if (rc == MPG123_NEW_FORMAT) {
            if (mpg123_getformat(mh_, &outRate_, &outChannels_, &outEncoding_) != MPG123_OK) return false;
            continue;
        }
        if (rc == MPG123_ERR) {
            // A damaged frame ends this block only: the next block starts a
            // new chain, as after junk.
            trust_.Drop();
            return true;
        }
        if (rc != MPG123_OK) return false;  // MPG123_DONE: nothing more can come
        if (bytes > 0) TakeFrame(audio, bytes);
        if (failed_) return false;
    }
}

int CAudioDecodeMp3::Session::Run() {
    if (int rc = Open(); rc != kDecodeOk) return rc;
    struct stat st;
    if (fstat(fd_, &st) != 0) return FileError();
    const int64_t fileLength = st.st_size;
    if (fileLength == 0) return kDecodeEmptyFile;

    if (!StartDecoder()) return kDecodeFailed;
    const uint32_t start = GetTickCount32();

    // A leading ID3v2 tag: its size bytes are taken whole, as written.
    uint8_t head[12];
    const ssize_t headLength = ReadFully(fd_, head, 10, 0);
    if (headLength < 0) return FileError();
    uint64_t offset = 0;
    if (headLength == 10 && std::memcmp(head, "ID3", 3) == 0)
        offset = (uint64_t{head[6]} << 21 | uint64_t{head[7]} << 14 | uint64_t{head[8]} << 7 | uint64_t{head[9]}) + 10;
    const ssize_t magicLength = ReadFully(fd_, head, sizeof head, static_cast<off_t>(offset));
    if (magicLength < 0) return FileError();
    d_.otherContainer_ = LooksLikeOtherFile(head, static_cast<size_t>(magicLength));

    uint64_t readCount = 0;
    if (!d_.otherContainer_) {
        if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return FileError();
        d_.held_.resize(kMaxFrameSamples * 2 * 2);
        std::unique_ptr<uint8_t[]> readBuffer(new (std::nothrow) uint8_t[kReadBytes]);
        if (!readBuffer) return kDecodeFailed;
        bool decoding = true;
        while (decoding) {
            const ssize_t n = ReadFully(fd_, readBuffer.get(), kReadBytes);
            if (n < 0) return FileError();
            if (n == 0) break;
            readCount += static_cast<uint64_t>(n);
            if (mpg123_feed(mh_, readBuffer.get(), static_cast<size_t>(n)) != MPG123_OK) return kDecodeFailed;
            decoding = DecodeFrames();
            if (static_cast<size_t>(n) < kReadBytes) break;
        }
        if (failed_) return kDecodeFailed;
        // A frame held back that ends exactly at the end of the file.
        if (const FrameTrust::Held* held = trust_.CleanHeldEndingAt(static_cast<int64_t>(readCount));
            held && (!configured_ ? Configure(held->shape) : held->shape == streamShape_)) {
            Emit(d_.held_.data(), held->bytes);
        }
        if (failed_) return kDecodeFailed;
    }
    resampler_.reset();
    mpg123_delete(mh_);
    mh_ = nullptr;
    // Checked like every close: its failure is a file error, not ignored.
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return FileError();

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
    otherContainer_ = false;
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

}  // namespace tesvano
