#include "audio/ffmpeg_decoder.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "audio/mp3_decoder.h"

namespace tesvano {
namespace {

constexpr int kIoBufferBytes = 65536;

// Everything one decode holds, released together on every way out.
class Session {
public:
    Session(int targetRate, size_t limit) : rate_(targetRate), limit_(limit) {}
    ~Session() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        swr_free(&converter_);
        av_channel_layout_uninit(&inLayout_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
        if (io_) av_freep(&io_->buffer);
        avio_context_free(&io_);
        if (fd_ >= 0) close(fd_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    FfmpegDecode Run(const std::string& path);

private:
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    // Playlists and references to other files are not followed.
    static int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
        return AVERROR(EPERM);
    }

    int OpenFile(const std::string& path);
    // Hands the decoder's frames to the converter; false when decoding must stop.
    bool ReceiveFrames();
    bool Convert(const AVFrame* frame);
    // Takes what the converter still holds back (its filter delay).
    bool Drain();
    bool Emit(const uint8_t* const* in, int inSamples);
    bool Append(const uint8_t* bytes, size_t length);
    FfmpegDecode Failed() {
        FfmpegDecode d;
        if (readErrno_ != 0) {
            d.status = kDecodeFileError;
            d.fileError = readErrno_;
        } else {
            d.status = kDecodeFailed;
        }
        return d;
    }

    int rate_;
    size_t limit_;
    int fd_ = -1;
    int readErrno_ = 0;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    int stream_ = -1;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* converter_ = nullptr;
    // What the converter was made for; a stream may change it midway.
    int inFormat_ = AV_SAMPLE_FMT_NONE;
    int inRate_ = 0;
    AVChannelLayout inLayout_{};
    std::vector<uint8_t> converted_;
    PcmBuffer pcm_;
    bool failed_ = false;
};

int Session::Read(void* opaque, uint8_t* buffer, int size) {
    auto* s = static_cast<Session*>(opaque);
    for (;;) {
        const ssize_t n = read(s->fd_, buffer, static_cast<size_t>(size));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return AVERROR_EOF;
        if (errno == EINTR) continue;
        s->readErrno_ = errno;
        return AVERROR(errno);
    }
}

int64_t Session::Seek(void* opaque, int64_t offset, int whence) {
    auto* s = static_cast<Session*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st;
        return fstat(s->fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
    }
    const off_t at = lseek(s->fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

int Session::OpenFile(const std::string& path) {
    // Non-blocking, so a FIFO cannot hang the open; then only regular files.
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return errno;
    struct stat st;
    if (fstat(fd_, &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    const int flags = fcntl(fd_, F_GETFL);
    if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
    return 0;
}

bool Session::Append(const uint8_t* bytes, size_t length) {
    if (length > limit_ - pcm_.size()) return false;
    pcm_.insert(pcm_.end(), bytes, bytes + length);
    return true;
}

bool Session::Convert(const AVFrame* frame) {
    const bool same = converter_ && frame->format == inFormat_ && frame->sample_rate == inRate_ &&
                      av_channel_layout_compare(&frame->ch_layout, &inLayout_) == 0;
    if (!same) {
        // Whatever the old converter still holds belongs before this frame.
        if (converter_ && !Drain()) return false;
        swr_free(&converter_);
        av_channel_layout_uninit(&inLayout_);
        // A layout with only a channel count (WAV, raw) is taken as the usual one.
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
        else if (av_channel_layout_copy(&layout, &frame->ch_layout) < 0)
            return false;
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        int r = swr_alloc_set_opts2(&converter_, &mono, AV_SAMPLE_FMT_S16, rate_, &layout,
                                    static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (r >= 0) r = swr_init(converter_);
        if (r < 0 || av_channel_layout_copy(&inLayout_, &frame->ch_layout) < 0) return false;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
    }
    return Emit(frame->extended_data, frame->nb_samples);
}

bool Session::Drain() { return Emit(nullptr, 0); }

bool Session::Emit(const uint8_t* const* in, int inSamples) {
    const int room = swr_get_out_samples(converter_, inSamples);
    if (room < 0) return false;
    if (room == 0) return true;
    converted_.resize(static_cast<size_t>(room) * 2);
    uint8_t* out = converted_.data();
    const int n = swr_convert(converter_, &out, room, const_cast<const uint8_t**>(in), inSamples);
    return n >= 0 && Append(converted_.data(), static_cast<size_t>(n) * 2);
}

bool Session::ReceiveFrames() {
    for (;;) {
        const int r = avcodec_receive_frame(codec_, frame_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r == AVERROR(ENOMEM)) return false;
        if (r < 0) return true;  // a damaged frame: the next packet goes on
        const bool ok = Convert(frame_);
        av_frame_unref(frame_);
        if (!ok) return false;
    }
}

FfmpegDecode Session::Run(const std::string& path) {
    FfmpegDecode result;
    if (const int error = OpenFile(path); error != 0) {
        result.status = kDecodeFileError;
        result.fileError = error;
        return result;
    }
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer) return Failed();
    io_ = avio_alloc_context(buffer, kIoBufferBytes, 0, this, &Session::Read, nullptr, &Session::Seek);
    if (!io_) {
        av_free(buffer);
        return Failed();
    }
    format_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!format_ || !packet_ || !frame_) return Failed();
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->io_open = &Session::RefuseNestedOpen;

    // Not a format FFmpeg knows, or no audio in it: nothing decoded, no error.
    if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0)
        return readErrno_ != 0 ? Failed() : result;
    if (avformat_find_stream_info(format_, nullptr) < 0 && readErrno_ != 0) return Failed();
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream_ < 0 || !decoder) return result;
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_ || avcodec_parameters_to_context(codec_, format_->streams[stream_]->codecpar) < 0) return Failed();
    if (avcodec_open2(codec_, decoder, nullptr) < 0) return result;

    for (;;) {
        const int r = av_read_frame(format_, packet_);
        if (r == AVERROR_EOF) break;
        if (r < 0) {
            if (readErrno_ != 0) return Failed();
            break;  // damaged data at the end: keep what came before it
        }
        if (packet_->stream_index == stream_) {
            // A damaged packet is skipped, as players do.
            if (avcodec_send_packet(codec_, packet_) < 0 && readErrno_ != 0) return Failed();
            if (!ReceiveFrames()) failed_ = true;
        }
        av_packet_unref(packet_);
        if (failed_) return Failed();
    }
    if (avcodec_send_packet(codec_, nullptr) < 0 || !ReceiveFrames()) return Failed();
    if (converter_ && !Drain()) return Failed();
    result.pcm = std::move(pcm_);
    return result;
}

}  // namespace

FfmpegDecode DecodeWithFfmpeg(const std::string& path, int targetRate, size_t outputLimit) {
    // Quiet about damaged data and timestamps, as the MP3 decoder is: the
    // decode line says what came of the file.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    try {
        Session session(targetRate, outputLimit);
        return session.Run(path);
    } catch (const std::bad_alloc&) {
        FfmpegDecode d;
        d.status = kDecodeFailed;
        return d;
    }
}

}  // namespace tesvano
