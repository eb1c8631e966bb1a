#include "sdk/camera/audio_input.h"

#include <cerrno>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include "sdk/camera/quabo_netsdk.h"

namespace camera {
namespace {

std::string SecondsText(std::chrono::seconds budget) { return std::to_string(budget.count()) + " seconds"; }


int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int64_t ToNs(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// The source was there but what it sent is not audio we can read.
bool IsContentError(int error) {
    return error == AVERROR_INVALIDDATA || error == AVERROR_DEMUXER_NOT_FOUND || error == AVERROR_DECODER_NOT_FOUND ||
           error == AVERROR_STREAM_NOT_FOUND || error == AVERROR_PATCHWELCOME || error == AVERROR(ENOSYS);
}

// Demuxers of one audio stream, for http sources and files. Playlists and
// formats that name other sources (hls, dash, concat, image sequences, sdp)
// are not among them: a source must not make the recorder fetch addresses of
// its choosing. mov follows no external references unless asked to.
constexpr const char* kAudioFormats =
    "aac,ac3,aiff,amr,ape,asf,au,avi,caf,dts,eac3,flac,flv,g722,g723_1,g729,gsm,matroska,mov,mp3,mpeg,mpegts,ogg,"
    "tta,voc,w64,wav,wv";

// What FFmpeg may open for a source: only its own scheme's protocols and a
// demuxer that reads one stream. False for a scheme we do not read.
bool Whitelists(const Source& source, std::string* protocols, std::string* formats) {
    switch (source.kind) {
        case SourceKind::kDevice:
            // A device is read by its own input format, through no protocol at all.
            *protocols = source.deviceFormat;
            *formats = source.deviceFormat;
            return true;
        case SourceKind::kFile:
            *protocols = "file";
            *formats = kAudioFormats;
            return true;
        case SourceKind::kNetwork: break;
    }
    if (source.rtsp) {
        const bool tls = source.url.size() > 5 && (source.url[4] | 0x20) == 's';  // rtsps://
        *protocols = tls ? "rtsp,rtp,tcp,udp,tls" : "rtsp,rtp,tcp,udp";
        *formats = "rtsp";
        return true;
    }
    if (source.http) {
        *protocols = "http,https,tcp,tls";
        *formats = kAudioFormats;
        return true;
    }
    return false;
}

// FFmpeg's own socket timeouts only back up the deadline of the interrupt
// callback, which decides what a silent source is.
constexpr const char* kSocketTimeoutUs = "10000000";

}  // namespace

AudioInput::AudioInput(const std::atomic<bool>* stop) : stop_(stop) {}

AudioInput::~AudioInput() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    swr_free(&converter_);
    if (converterLayout_) {
        av_channel_layout_uninit(converterLayout_);
        delete converterLayout_;
    }
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

int AudioInput::Interrupted(void* self) {
    auto* input = static_cast<AudioInput*>(self);
    if (input->stop_->load()) return 1;
    int64_t deadline = input->deadlineNs_.load();
    return deadline != 0 && NowNs() > deadline;
}

int AudioInput::Open(const Source& source, int outRate, Clock::time_point deadline, std::string* reason) {
    static std::once_flag devices;
    std::call_once(devices, [] { avdevice_register_all(); });
    live_ = source.kind != SourceKind::kFile;
    outRate_ = outRate;
    deadlineNs_ = ToNs(deadline);

    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    format_ = avformat_alloc_context();
    if (!packet_ || !frame_ || !format_) return QUABO_NETSDK_ERR_OUT_OF_MEMORY;
    format_->interrupt_callback.callback = &AudioInput::Interrupted;
    format_->interrupt_callback.opaque = this;

    std::string protocols, formats;
    if (!Whitelists(source, &protocols, &formats)) {
        *reason = "not a source we read (rtsp, rtsps, http, https, a device or a file)";
        return QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", protocols.c_str(), 0);
    av_dict_set(&options, "format_whitelist", formats.c_str(), 0);
    const AVInputFormat* forced = nullptr;
    // A live source is probed for half a second, not five: the stream's
    // audio is known by then, and the operator waits for the start.
    if (live_) av_dict_set(&options, "analyzeduration", "500000", 0);
    if (source.rtsp) {
        // Firewalls drop RTP over UDP; the interleaved TCP connection gets through.
        av_dict_set(&options, "rtsp_transport", "tcp", 0);
        av_dict_set(&options, "allowed_media_types", "audio", 0);
        // No PLAY before we know there is an audio track to play.
        av_dict_set(&options, "initial_pause", "1", 0);
        av_dict_set(&options, "timeout", kSocketTimeoutUs, 0);
    } else if (source.kind == SourceKind::kNetwork) {
        av_dict_set(&options, "rw_timeout", kSocketTimeoutUs, 0);
    } else if (source.kind == SourceKind::kDevice) {
        forced = av_find_input_format(source.deviceFormat.c_str());
        if (!forced) {
            *reason = "no " + source.deviceFormat + " support in this FFmpeg";
            return QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
        }
    }
    int r = avformat_open_input(&format_, source.openName.c_str(), forced, &options);
    av_dict_free(&options);
    if (r < 0) {  // format_ is freed and null
        if (Interrupted(this)) {
            *reason = "no answer within " + SecondsText(kOpenBudget);
            return QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
        }
        *reason = ErrorText(r);
        if (r == AVERROR(ENOMEM)) return QUABO_NETSDK_ERR_OUT_OF_MEMORY;
        // What a whitelist refused: the source is there, but not one audio stream.
        if (r == AVERROR(EINVAL)) {
            *reason += " (one audio stream is read: playlists and sources that point elsewhere are refused)";
            return QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE;
        }
        return IsContentError(r) ? QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE : QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
    }
    if (source.rtsp) {
        bool audio = false;
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            audio = audio || format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        if (!audio) {
            *reason = "the stream has no audio track";
            return QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE;
        }
        r = av_read_play(format_);
        if (r < 0) {
            *reason = Interrupted(this) ? "no answer to PLAY within " + SecondsText(kOpenBudget)
                                         : "PLAY refused: " + ErrorText(r);
            return Interrupted(this) ? QUABO_NETSDK_ERR_NOT_FIND_DEVICE : QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE;
        }
    }
    r = avformat_find_stream_info(format_, nullptr);
    if (r < 0) {
        *reason = Interrupted(this) ? "no audio within " + SecondsText(kOpenBudget) : "no stream information: " + ErrorText(r);
        return r == AVERROR(ENOMEM) ? QUABO_NETSDK_ERR_OUT_OF_MEMORY : QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE;
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0) {
        *reason = stream_ == AVERROR_DECODER_NOT_FOUND ? "no decoder for its audio" : "no audio in it";
        return QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE;
    }
    // Other streams are not even demuxed into packets we would throw away.
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (int(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;

    decoder_ = avcodec_alloc_context3(codec);
    if (!decoder_) return QUABO_NETSDK_ERR_OUT_OF_MEMORY;
    r = avcodec_parameters_to_context(decoder_, format_->streams[stream_]->codecpar);
    if (r >= 0) r = avcodec_open2(decoder_, codec, nullptr);
    if (r < 0) {
        *reason = std::string("the ") + codec->name + " decoder does not start: " + ErrorText(r);
        return r == AVERROR(ENOMEM) ? QUABO_NETSDK_ERR_OUT_OF_MEMORY : QUABO_NETSDK_ERR_START_AUDIOCAPTURE;
    }
    // Set up the converter now when the decoder already knows its output, so
    // a converter that cannot start fails the start and not the first block.
    if (decoder_->sample_rate > 0 && decoder_->sample_fmt != AV_SAMPLE_FMT_NONE && decoder_->ch_layout.nb_channels > 0 &&
        !MatchConverter(decoder_->sample_fmt, decoder_->sample_rate, decoder_->ch_layout, nullptr)) {
        *reason = reason_;
        return QUABO_NETSDK_ERR_START_AUDIOCAPTURE;
    }
    deadlineNs_ = 0;
    return QUABO_NETSDK_OK;
}

bool AudioInput::MatchConverter(int format, int rate, const AVChannelLayout& given, std::vector<int16_t>* out) {
    AVChannelLayout layout{};
    // A layout without channel order cannot be mixed down; take the usual one.
    if (given.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, given.nb_channels);
    else if (av_channel_layout_copy(&layout, &given) < 0) {
        reason_ = "out of memory";
        return false;
    }
    if (converter_ && format == converterFormat_ && rate == converterRate_ &&
        av_channel_layout_compare(&layout, converterLayout_) == 0) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    // The stream changed its format: keep what the old converter still holds.
    if (converter_ && out) DrainConverter(out);
    swr_free(&converter_);
    if (converterLayout_) av_channel_layout_uninit(converterLayout_);
    else converterLayout_ = new AVChannelLayout{};
    *converterLayout_ = layout;  // takes over the copy
    converterFormat_ = format;
    converterRate_ = rate;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    int r = swr_alloc_set_opts2(&converter_, &mono, AV_SAMPLE_FMT_S16, outRate_, converterLayout_,
                                AVSampleFormat(format), rate, 0, nullptr);
    if (r >= 0) r = swr_init(converter_);
    if (r < 0) {
        reason_ = "the converter does not start: " + ErrorText(r);
        swr_free(&converter_);
        return false;
    }
    return true;
}

bool AudioInput::Convert(const AVFrame* frame, std::vector<int16_t>* out) {
    if (!MatchConverter(frame->format, frame->sample_rate, frame->ch_layout, out)) return false;
    int room = swr_get_out_samples(converter_, frame->nb_samples);
    if (room < 0) {
        reason_ = "converter: " + ErrorText(room);
        return false;
    }
    size_t had = out->size();
    out->resize(had + size_t(room));
    auto* target = reinterpret_cast<uint8_t*>(out->data() + had);
    int n = swr_convert(converter_, &target, room, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (n < 0) {
        out->resize(had);
        reason_ = "converter: " + ErrorText(n);
        return false;
    }
    out->resize(had + size_t(n));
    return true;
}

void AudioInput::DrainConverter(std::vector<int16_t>* out) {
    if (!converter_) return;
    for (;;) {
        int room = swr_get_out_samples(converter_, 0);
        if (room <= 0) return;
        size_t had = out->size();
        out->resize(had + size_t(room));
        auto* target = reinterpret_cast<uint8_t*>(out->data() + had);
        int n = swr_convert(converter_, &target, room, nullptr, 0);
        out->resize(had + size_t(n > 0 ? n : 0));
        if (n <= 0) return;
    }
}

bool AudioInput::ReceiveFrames(std::vector<int16_t>* out) {
    for (;;) {
        int r = avcodec_receive_frame(decoder_, frame_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) {
            reason_ = "decoder: " + ErrorText(r);
            return false;
        }
        bool ok = Convert(frame_, out);
        av_frame_unref(frame_);
        if (!ok) return false;
    }
}

AudioInput::Step AudioInput::Next(std::vector<int16_t>* out) {
    for (;;) {
        if (stop_->load()) return Step::kStopped;
        deadlineNs_ = live_ ? ToNs(Clock::now() + kSilenceBudget) : 0;
        int r = av_read_frame(format_, packet_);
        if (r == AVERROR_EOF && !(format_->pb && format_->pb->error < 0)) return Step::kEnd;
        if (r < 0) {
            if (stop_->load()) return Step::kStopped;
            if (r == AVERROR_EOF) r = format_->pb->error;
            reason_ = Interrupted(this) ? "nothing received for " + SecondsText(kSilenceBudget) : ErrorText(r);
            return Step::kBroken;
        }
        if (packet_->stream_index != stream_) {
            av_packet_unref(packet_);
            continue;
        }
        r = avcodec_send_packet(decoder_, packet_);
        av_packet_unref(packet_);
        // A damaged packet costs its own audio only.
        if (r < 0 && r != AVERROR_INVALIDDATA) {
            reason_ = "decoder: " + ErrorText(r);
            return Step::kBroken;
        }
        if (!ReceiveFrames(out)) return Step::kBroken;
        return Step::kSamples;
    }
}

void AudioInput::Flush(std::vector<int16_t>* out) {
    if (decoder_ && avcodec_send_packet(decoder_, nullptr) >= 0) ReceiveFrames(out);
    DrainConverter(out);
}

std::string AudioInput::Describe() const {
    if (!decoder_ || !decoder_->codec) return {};
    const int channels = decoder_->ch_layout.nb_channels;
    return std::string(decoder_->codec->name) + ", " + std::to_string(decoder_->sample_rate) + " Hz, " +
           std::to_string(channels) + (channels == 1 ? " channel" : " channels");
}

}  // namespace camera
