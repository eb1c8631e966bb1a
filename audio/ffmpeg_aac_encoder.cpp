// FFmpeg's native AAC-LC encoder behind the module's C table, for cameras
// whose back channel takes only AAC.
#include "audio/ffmpeg_aac_encoder.h"

#include <cstdio>
#include <cstring>

#include "audio/pcm.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

struct TesvanoAacEncoder {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int64_t pts = 0;
    bool draining = false;

    ~TesvanoAacEncoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

namespace tesvano {
namespace {

void SetReason(char* reason, size_t size, const char* what, int error) {
    if (!reason || size == 0) return;
    char detail[AV_ERROR_MAX_STRING_SIZE] = "";
    if (error < 0) av_strerror(error, detail, sizeof detail);
    std::snprintf(reason, size, "%s%s%s", what, *detail ? ": " : "", detail);
}

}  // namespace

TesvanoAacEncoder* AacOpen(int rate, int bitRate, int* frameSamples, char* reason, size_t reasonSize) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) {
        SetReason(reason, reasonSize, "FFmpeg has no AAC encoder", 0);
        return nullptr;
    }
    auto* e = new (std::nothrow) TesvanoAacEncoder;
    if (!e) return nullptr;
    e->context = avcodec_alloc_context3(codec);
    e->frame = av_frame_alloc();
    e->packet = av_packet_alloc();
    if (!e->context || !e->frame || !e->packet) {
        delete e;
        SetReason(reason, reasonSize, "out of memory", 0);
        return nullptr;
    }
    AVCodecContext* c = e->context;
    c->sample_rate = rate;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->bit_rate = bitRate;
    c->profile = FF_PROFILE_AAC_LOW;
    c->time_base = AVRational{1, rate};
    const AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    int r = av_channel_layout_copy(&c->ch_layout, &mono);
    if (r >= 0) r = avcodec_open2(c, codec, nullptr);
    if (r < 0 || c->frame_size <= 0) {
        SetReason(reason, reasonSize, "FFmpeg's AAC encoder would not open", r);
        delete e;
        return nullptr;
    }
    e->frame->format = AV_SAMPLE_FMT_FLTP;
    e->frame->sample_rate = rate;
    e->frame->nb_samples = c->frame_size;
    r = av_channel_layout_copy(&e->frame->ch_layout, &mono);
    if (r >= 0) r = av_frame_get_buffer(e->frame, 0);
    if (r < 0) {
        SetReason(reason, reasonSize, "out of memory", r);
        delete e;
        return nullptr;
    }
    *frameSamples = c->frame_size;
    return e;
}

int AacSend(TesvanoAacEncoder* e, const uint8_t* samples, int count) {
    if (!e || e->draining) return -1;
    if (!samples) {
        e->draining = true;
        return avcodec_send_frame(e->context, nullptr) < 0 ? -1 : 0;
    }
    if (count <= 0 || count > e->context->frame_size || av_frame_make_writable(e->frame) < 0) return -1;
    auto* out = reinterpret_cast<float*>(e->frame->data[0]);
    for (int i = 0; i < count; ++i) out[i] = float(LoadSample(samples + 2 * i)) / 32768.0f;
    e->frame->nb_samples = count;
    e->frame->pts = e->pts;
    e->pts += count;
    return avcodec_send_frame(e->context, e->frame) < 0 ? -1 : 0;
}

int AacReceive(TesvanoAacEncoder* e, uint8_t* out, size_t capacity, size_t* bytes) {
    if (!e) return -1;
    const int r = avcodec_receive_packet(e->context, e->packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
    if (r < 0) return -1;
    const size_t size = static_cast<size_t>(e->packet->size);
    const bool fits = size <= capacity;
    if (fits) {
        std::memcpy(out, e->packet->data, size);
        *bytes = size;
    }
    av_packet_unref(e->packet);
    return fits ? 1 : -1;
}

void AacClose(TesvanoAacEncoder* e) { delete e; }

}  // namespace tesvano
