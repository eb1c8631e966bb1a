// libtesvano-talk.so: the ONVIF audio back channel over GStreamer's RTSP
// client (rtspsrc, backchannel=onvif). Only the back-channel stream is set
// up; we packetise RTP ourselves and hand each packet to rtspsrc, which
// sends it interleaved on the RTSP connection.
#include <dirent.h>
#include <gst/gst.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gst/rtsp/gstrtspurl.h>
#include <gst/sdp/gstsdpmessage.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "talk/redact.h"
#include "talk/talk_module.h"

#define TALK_API extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

// A camera that takes no audio for this long has stalled.
constexpr unsigned kStallMs = 1500;

// What the SDP offered, decided on rtspsrc's thread before its SETUPs.
struct Offer {
    bool seen = false;       // an SDP arrived
    bool backchannel = false;  // some audio media is sendonly
    int stream = -1;         // the media we set up; -1: none fits
    int codec = 0;
    int rate = 0;
    int payloadType = 0;
    int auSizeBits = 0;   // AAC: the AU header's size and index fields
    int auIndexBits = 0;
};

struct Format {
    int codec = 0;
    int rate = 0;
    int channels = 1;
    int auSizeBits = 0;
    int auIndexBits = 0;
};

// The payload types a camera may offer without an rtpmap line (RFC 3551).
Format StaticFormat(int pt) {
    if (pt == 0) return {TESVANO_TALK_PCMU, 8000, 1};
    if (pt == 8) return {TESVANO_TALK_PCMA, 8000, 1};
    if (pt == 11) return {TESVANO_TALK_L16, 44100, 1};
    return {};
}

// "0 PCMU/8000" or "96 L16/16000/1" for payload type `pt`; a format of
// codec 0 when the line names nothing we send.
Format FormatFromRtpmap(const char* value, int pt, bool* matched) {
    char name[32] = {0};
    int mapPt = -1, rate = 0, channels = 1;
    const int n = std::sscanf(value, "%d %31[^/]/%d/%d", &mapPt, name, &rate, &channels);
    if (n < 3 || mapPt != pt) return {};
    *matched = true;
    if (rate < 8000 || rate > 48000 || channels != 1) return {};
    if (g_ascii_strcasecmp(name, "PCMU") == 0) return {TESVANO_TALK_PCMU, rate, 1};
    if (g_ascii_strcasecmp(name, "PCMA") == 0) return {TESVANO_TALK_PCMA, rate, 1};
    if (g_ascii_strcasecmp(name, "L16") == 0) return {TESVANO_TALK_L16, rate, 1};
    if (g_ascii_strcasecmp(name, "MPEG4-GENERIC") == 0) return {TESVANO_TALK_AAC, rate, 1};
    return {};
}

// A small whole number from the camera's SDP; -1 for anything else.
int SmallNumber(const char* text) {
    gint64 n = -1;
    if (!g_ascii_string_to_signed(text, 10, 0, 1000, &n, nullptr)) return -1;
    return int(n);
}

// The fmtp line of an MPEG4-GENERIC payload ("96 streamtype=5;mode=AAC-hbr;
// config=1408;sizelength=13;indexlength=3;indexdeltalength=3") decides
// whether we can send it: AAC-hbr (AAC-lbr caps a frame at 63 bytes, too
// small for an encoder at speech rates), a stream of AAC-LC or of an
// object type whose decoders also play LC, and AU headers we can fill.
bool TakeAacParameters(const char* value, Format* format) {
    char* end = nullptr;
    if (!value) return false;
    std::strtol(value, &end, 10);  // past the payload type
    bool hbr = false, audio = true, decodable = true;
    int sizeBits = 13, indexBits = 3;  // AAC-hbr's own
    gchar** pairs = g_strsplit(end, ";", 64);
    for (gchar** pair = pairs; *pair; ++pair) {
        gchar** kv = g_strsplit(*pair, "=", 2);
        if (kv[0] && kv[1]) {
            const char* key = g_strstrip(kv[0]);
            const char* val = g_strstrip(kv[1]);
            if (g_ascii_strcasecmp(key, "mode") == 0) hbr = g_ascii_strcasecmp(val, "AAC-hbr") == 0;
            else if (g_ascii_strcasecmp(key, "sizelength") == 0) sizeBits = SmallNumber(val);
            else if (g_ascii_strcasecmp(key, "indexlength") == 0) indexBits = SmallNumber(val);
            else if (g_ascii_strcasecmp(key, "streamtype") == 0) audio = SmallNumber(val) == 5;
            else if (g_ascii_strcasecmp(key, "config") == 0) {
                // The AudioSpecificConfig's first five bits: the object type.
                const bool hex = g_ascii_isxdigit(val[0]) && g_ascii_isxdigit(val[1]);
                const int objectType =
                    hex ? (g_ascii_xdigit_value(val[0]) << 1) | (g_ascii_xdigit_value(val[1]) >> 3) : -1;
                decodable = objectType == 2 || objectType == 5 || objectType == 29;
            }
        }
        g_strfreev(kv);
    }
    g_strfreev(pairs);
    if (!hbr || !audio || !decodable || sizeBits < 13 || sizeBits > 16 || indexBits < 0 || indexBits > 8)
        return false;
    format->auSizeBits = sizeBits;
    format->auIndexBits = indexBits;
    return true;
}

// G.711 first (every camera plays it, 8 kbytes/s), then linear, then AAC,
// which costs an encoder and its delay.
int Preference(int codec) {
    switch (codec) {
    case TESVANO_TALK_PCMU:
    case TESVANO_TALK_PCMA: return 3;
    case TESVANO_TALK_L16: return 2;
    case TESVANO_TALK_AAC: return 1;
    default: return 0;
    }
}

// The value of the media's `key` line ("rtpmap", "fmtp") for payload type
// `pt`, or null.
const char* PayloadAttribute(const GstSDPMedia* media, const char* key, int pt) {
    for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
        const GstSDPAttribute* attr = gst_sdp_media_get_attribute(media, a);
        if (!attr || !attr->key || !attr->value || std::strcmp(attr->key, key) != 0) continue;
        char* end = nullptr;
        if (std::strtol(attr->value, &end, 10) == pt && end != attr->value) return attr->value;
    }
    return nullptr;
}

bool HasAttribute(const GstSDPMedia* media, const char* key) {
    for (guint i = 0; i < gst_sdp_media_attributes_len(media); ++i) {
        const GstSDPAttribute* a = gst_sdp_media_get_attribute(media, i);
        if (a && a->key && std::strcmp(a->key, key) == 0) return true;
    }
    return false;
}

Offer ChooseBackchannel(const GstSDPMessage* sdp) {
    Offer offer;
    offer.seen = true;
    int best = 0;
    for (guint i = 0; i < gst_sdp_message_medias_len(sdp); ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(sdp, i);
        if (!media || g_strcmp0(gst_sdp_media_get_media(media), "audio") != 0) continue;
        if (!HasAttribute(media, "sendonly")) continue;
        offer.backchannel = true;
        for (guint f = 0; f < gst_sdp_media_formats_len(media); ++f) {
            const char* text = gst_sdp_media_get_format(media, f);
            if (!text) continue;
            char* end = nullptr;
            const long pt = std::strtol(text, &end, 10);
            if (end == text || pt < 0 || pt > 127) continue;
            bool mapped = false;
            Format format;
            if (const char* rtpmap = PayloadAttribute(media, "rtpmap", int(pt)))
                format = FormatFromRtpmap(rtpmap, int(pt), &mapped);
            if (!mapped) format = StaticFormat(int(pt));
            if (format.codec == TESVANO_TALK_AAC &&
                !TakeAacParameters(PayloadAttribute(media, "fmtp", int(pt)), &format))
                format.codec = 0;
            if (Preference(format.codec) > best) {
                best = Preference(format.codec);
                offer.stream = int(i);
                offer.codec = format.codec;
                offer.rate = format.rate;
                offer.payloadType = int(pt);
                offer.auSizeBits = format.auSizeBits;
                offer.auIndexBits = format.auIndexBits;
            }
        }
    }
    return offer;
}

const char* EncodingName(int codec) {
    switch (codec) {
    case TESVANO_TALK_PCMU: return "PCMU";
    case TESVANO_TALK_PCMA: return "PCMA";
    case TESVANO_TALK_AAC: return "MPEG4-GENERIC";
    default: return "L16";
    }
}

// RFC 3640's AU header section for one whole access unit: its length in
// bits, then the unit's size and index 0, padded to a byte.
size_t WriteAuHeaders(uint8_t* out, size_t unitBytes, int sizeBits, int indexBits) {
    const int bits = sizeBits + indexBits;
    out[0] = uint8_t(bits >> 8);
    out[1] = uint8_t(bits & 0xFF);
    const uint32_t header = uint32_t(unitBytes) << indexBits;
    const int bytes = (bits + 7) / 8;
    const uint32_t aligned = header << (bytes * 8 - bits);
    for (int i = 0; i < bytes; ++i) out[2 + i] = uint8_t(aligned >> (8 * (bytes - 1 - i)));
    return size_t(2 + bytes);
}

void SetReason(char* reason, size_t size, const std::string& text) {
    if (!reason || size == 0) return;
    const std::string shown = tesvano::PrintableText(tesvano::MaskUrlCredentials(text));
    std::snprintf(reason, size, "%s", shown.c_str());
}

}  // namespace

struct TesvanoTalk {
    GstElement* pipeline = nullptr;
    GstElement* source = nullptr;
    GstBus* bus = nullptr;
    std::mutex lock;
    Offer offer;                  // under lock
    GstCaps* caps = nullptr;
    guint16 sequence = 0;
    guint32 timestamp = 0;
    guint32 ssrc = 0;
    bool first = true;
    bool broken = false;
};

namespace {

void OnSdp(GstElement*, GstSDPMessage* sdp, gpointer data) {
    auto* talk = static_cast<TesvanoTalk*>(data);
    const Offer offer = ChooseBackchannel(sdp);
    std::lock_guard<std::mutex> hold(talk->lock);
    talk->offer = offer;
}

gboolean OnSelectStream(GstElement*, guint index, GstCaps*, gpointer data) {
    auto* talk = static_cast<TesvanoTalk*>(data);
    std::lock_guard<std::mutex> hold(talk->lock);
    return talk->offer.stream >= 0 && guint(talk->offer.stream) == index;
}

// A stream we did not ask for never stays unlinked.
void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* talk = static_cast<TesvanoTalk*>(data);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink) return;
    g_object_set(sink, "async", FALSE, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(talk->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    if (gst_pad_link(pad, sinkPad) != GST_PAD_LINK_OK) g_printerr("talk: extra stream not linked\n");
    gst_object_unref(sinkPad);
}

// An error message as a code and a line for people.
int MapError(GstMessage* message, bool started, std::string* text) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING)
        gst_message_parse_warning(message, &error, &debug);
    else
        gst_message_parse_error(message, &error, &debug);
    const std::string what = error && error->message ? error->message : "error";
    // The debug text's last line says what happened in the camera's terms;
    // the lines before it name source files and their line numbers.
    const std::string detail = debug ? debug : "";
    const size_t lastLine = detail.find_last_of('\n');
    const std::string said = lastLine == std::string::npos ? "" : detail.substr(lastLine + 1);
    *text = said.empty() ? what : what + " " + said;
    int code = started ? TESVANO_TALK_BROKEN : TESVANO_TALK_UNREACHABLE;
    if (!started) {
        const auto says = [&](const char* words) { return text->find(words) != std::string::npos; };
        if ((error && g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_AUTHORIZED)) ||
            says("Unauthorized") || says("Forbidden") || says("(401)") || says("(403)"))
            code = TESVANO_TALK_UNAUTHORISED;
        // A camera without a back channel refuses the Require header (551
        // Option not supported, which rtspsrc reports as having no SDP).
        else if (says("(551)") || says("Option not supported") ||
                 (error && g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS) && says("SDP")))
            code = TESVANO_TALK_NO_BACKCHANNEL;
    }
    if (error) g_error_free(error);
    g_free(debug);
    return code;
}

void Free(TesvanoTalk* talk) {
    if (!talk) return;
    if (talk->pipeline) {
        gst_element_set_state(talk->pipeline, GST_STATE_NULL);
        gst_object_unref(talk->pipeline);
    }
    if (talk->bus) gst_object_unref(talk->bus);
    if (talk->caps) gst_caps_unref(talk->caps);
    delete talk;
}

// The outcome of the SDP, once it is known; 0 while nothing decides it.
int OfferOutcome(TesvanoTalk* talk, std::string* text) {
    std::lock_guard<std::mutex> hold(talk->lock);
    if (!talk->offer.seen) return 0;
    if (!talk->offer.backchannel) {
        *text = "the camera's stream has no sendonly audio";
        return TESVANO_TALK_NO_BACKCHANNEL;
    }
    if (talk->offer.stream < 0) {
        *text = "the back channel takes none of PCMU, PCMA, L16, AAC-hbr (mono)";
        return TESVANO_TALK_NO_CODEC;
    }
    return 0;
}

// Whether the connection failed since the last look. A camera that closes
// the connection is only a warning to rtspsrc (it would reconnect), but
// mid-way it means the camera stopped listening.
bool Failed(TesvanoTalk* talk, std::string* text) {
    if (talk->broken) return true;
    while (GstMessage* message = gst_bus_pop_filtered(
               talk->bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_WARNING))) {
        bool broken = true;
        *text = "the camera ended the stream";
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            broken = error && error->domain == GST_RESOURCE_ERROR;
            if (error) g_error_free(error);
        }
        if (broken && GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS) MapError(message, true, text);
        gst_message_unref(message);
        if (broken) {
            talk->broken = true;
            return true;
        }
    }
    return false;
}

// rtspsrc keeps its connection to itself, and a camera that stops taking
// audio (cable pulled, camera hung) would only show once the socket buffers
// fill, many seconds later. Its socket is found among ours by the camera's
// port, and the kernel told to drop it when sent data waits unacknowledged
// (or the camera's window stays shut) longer than `ms`; rtspsrc then fails.
void BoundUnacknowledged(const char* url, unsigned ms) {
    GstRTSPUrl* parsed = nullptr;
    if (gst_rtsp_url_parse(url, &parsed) != GST_RTSP_OK || !parsed) return;
    guint16 port = 0;
    gst_rtsp_url_get_port(parsed, &port);
    gst_rtsp_url_free(parsed);
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return;
    const int own = dirfd(fds);
    while (const dirent* entry = readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        struct stat st {};
        int type = 0;
        socklen_t typeSize = sizeof type;
        sockaddr_storage peer{};
        socklen_t peerSize = sizeof peer;
        if (fstat(int(fd), &st) != 0 || !S_ISSOCK(st.st_mode) ||
            getsockopt(int(fd), SOL_SOCKET, SO_TYPE, &type, &typeSize) != 0 || type != SOCK_STREAM ||
            getpeername(int(fd), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
            continue;
        guint16 peerPort = 0;
        if (peer.ss_family == AF_INET) peerPort = ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port);
        else if (peer.ss_family == AF_INET6) peerPort = ntohs(reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port);
        if (peerPort != port) continue;
        if (setsockopt(int(fd), IPPROTO_TCP, TCP_USER_TIMEOUT, &ms, sizeof ms) != 0)
            g_printerr("talk: cannot bound the camera connection's stalls\n");
    }
    closedir(fds);
}

}  // namespace

TALK_API int tesvano_talk_open(const char* url, int waitMs, TesvanoTalk** session, int* codec, int* rate,
                               char* reason, size_t reasonSize) {
    *session = nullptr;
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = gst_init_check(nullptr, nullptr, nullptr); });
    if (!ready) {
        SetReason(reason, reasonSize, "GStreamer cannot start");
        return TESVANO_TALK_MODULE_MISSING;
    }
    auto* talk = new TesvanoTalk;
    talk->pipeline = gst_pipeline_new("talk");
    talk->source = gst_element_factory_make("rtspsrc", "camera");
    if (!talk->pipeline || !talk->source) {
        if (talk->source) gst_object_unref(talk->source);
        Free(talk);
        SetReason(reason, reasonSize, "GStreamer's RTSP client (rtspsrc, gstreamer1.0-plugins-good) is missing");
        return TESVANO_TALK_MODULE_MISSING;
    }
    const guint64 waitUs = guint64(waitMs) * 1000;
    g_object_set(talk->source, "location", url, "tcp-timeout", waitUs, "latency", guint(0), "teardown-timeout",
                 guint64(waitMs) * 1000000 / 4, "do-rtcp", TRUE, nullptr);
    gst_util_set_object_arg(G_OBJECT(talk->source), "backchannel", "onvif");
    gst_util_set_object_arg(G_OBJECT(talk->source), "protocols", "tcp");
    g_signal_connect(talk->source, "on-sdp", G_CALLBACK(OnSdp), talk);
    g_signal_connect(talk->source, "select-stream", G_CALLBACK(OnSelectStream), talk);
    g_signal_connect(talk->source, "pad-added", G_CALLBACK(OnPadAdded), talk);
    gst_bin_add(GST_BIN(talk->pipeline), talk->source);
    talk->bus = gst_element_get_bus(talk->pipeline);

    if (gst_element_set_state(talk->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Free(talk);
        SetReason(reason, reasonSize, "the RTSP client would not start");
        return TESVANO_TALK_UNREACHABLE;
    }
    // Connect, DESCRIBE, SETUP and PLAY: each bounded by tcp-timeout, the
    // whole by four of them.
    const auto deadline = Clock::now() + std::chrono::milliseconds(4LL * waitMs);
    int result = -1;
    std::string text;
    while (result < 0) {
        const auto left = deadline - Clock::now();
        if (left <= std::chrono::nanoseconds(0)) {
            result = TESVANO_TALK_UNREACHABLE;
            text = "no answer in time";
            break;
        }
        const GstClockTime step = std::min<GstClockTime>(
            50 * GST_MSECOND, GstClockTime(std::chrono::duration_cast<std::chrono::nanoseconds>(left).count()));
        GstMessage* message = gst_bus_timed_pop_filtered(
            talk->bus, step, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_PROGRESS | GST_MESSAGE_EOS));
        const int offered = OfferOutcome(talk, &text);
        if (offered) {
            result = offered;
        } else if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            result = MapError(message, false, &text);
        } else if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            result = TESVANO_TALK_UNREACHABLE;
            text = "the camera ended the stream";
        } else if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_PROGRESS) {
            GstProgressType type;
            gchar* code = nullptr;
            gchar* progress = nullptr;
            gst_message_parse_progress(message, &type, &code, &progress);
            if (type == GST_PROGRESS_TYPE_COMPLETE && progress && std::strstr(progress, "PLAY")) {
                std::lock_guard<std::mutex> hold(talk->lock);
                result = talk->offer.stream >= 0 ? TESVANO_TALK_OK : TESVANO_TALK_NO_BACKCHANNEL;
            }
            g_free(code);
            g_free(progress);
        }
        if (message) gst_message_unref(message);
    }
    if (result != TESVANO_TALK_OK) {
        Free(talk);
        SetReason(reason, reasonSize, text);
        return result;
    }
    {
        std::lock_guard<std::mutex> hold(talk->lock);
        *codec = talk->offer.codec;
        *rate = talk->offer.rate;
        talk->caps = gst_caps_new_simple("application/x-rtp", "media", G_TYPE_STRING, "audio", "payload", G_TYPE_INT,
                                         talk->offer.payloadType, "clock-rate", G_TYPE_INT, talk->offer.rate,
                                         "encoding-name", G_TYPE_STRING, EncodingName(talk->offer.codec), nullptr);
    }
    BoundUnacknowledged(url, kStallMs);
    talk->ssrc = g_random_int();
    talk->sequence = guint16(g_random_int_range(0, 65536));
    talk->timestamp = g_random_int();
    *session = talk;
    return TESVANO_TALK_OK;
}

TALK_API int tesvano_talk_send(TesvanoTalk* talk, const uint8_t* payload, size_t bytes, uint32_t samples,
                               char* reason, size_t reasonSize) {
    if (!talk || talk->broken) return TESVANO_TALK_BROKEN;
    std::string text;
    if (Failed(talk, &text)) {
        SetReason(reason, reasonSize, text);
        return TESVANO_TALK_BROKEN;
    }
    const bool aac = talk->offer.codec == TESVANO_TALK_AAC;
    uint8_t auHeaders[8];
    size_t headerBytes = 0;
    if (aac) {
        if (bytes >= (size_t(1) << talk->offer.auSizeBits)) {
            SetReason(reason, reasonSize, "an AAC frame too large for the camera's AU headers");
            return TESVANO_TALK_BROKEN;
        }
        headerBytes = WriteAuHeaders(auHeaders, bytes, talk->offer.auSizeBits, talk->offer.auIndexBits);
    }
    GstBuffer* buffer = gst_rtp_buffer_new_allocate(guint(headerBytes + bytes), 0, 0);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (!buffer || !gst_rtp_buffer_map(buffer, GST_MAP_WRITE, &rtp)) {
        if (buffer) gst_buffer_unref(buffer);
        SetReason(reason, reasonSize, "out of memory");
        return TESVANO_TALK_BROKEN;
    }
    gst_rtp_buffer_set_payload_type(&rtp, guint8(talk->offer.payloadType));
    gst_rtp_buffer_set_seq(&rtp, talk->sequence++);
    gst_rtp_buffer_set_timestamp(&rtp, talk->timestamp);
    gst_rtp_buffer_set_ssrc(&rtp, talk->ssrc);
    // Audio marks a talk spurt's start; AAC marks each packet that ends an
    // access unit, which is every one of ours.
    gst_rtp_buffer_set_marker(&rtp, talk->first || aac);
    auto* out = static_cast<uint8_t*>(gst_rtp_buffer_get_payload(&rtp));
    if (headerBytes) std::memcpy(out, auHeaders, headerBytes);
    std::memcpy(out + headerBytes, payload, bytes);
    gst_rtp_buffer_unmap(&rtp);
    talk->first = false;
    talk->timestamp += samples;

    GstSample* sample = gst_sample_new(buffer, talk->caps, nullptr, nullptr);
    gst_buffer_unref(buffer);
    GstFlowReturn flow = GST_FLOW_ERROR;
    // GStreamer 1.22's rtspsrc releases the sample itself.
    g_signal_emit_by_name(talk->source, "push-backchannel-sample", guint(talk->offer.stream), sample, &flow);
    if (flow != GST_FLOW_OK) {
        talk->broken = true;
        SetReason(reason, reasonSize, std::string("the back channel refused a packet: ") + gst_flow_get_name(flow));
        return TESVANO_TALK_BROKEN;
    }
    return TESVANO_TALK_OK;
}

TALK_API int tesvano_talk_close(TesvanoTalk* talk) {
    if (!talk) return TESVANO_TALK_OK;
    // A failure after the last packet counts too.
    std::string text;
    const int result = Failed(talk, &text) ? TESVANO_TALK_BROKEN : TESVANO_TALK_OK;
    Free(talk);  // TEARDOWN, bounded by teardown-timeout
    return result;
}
