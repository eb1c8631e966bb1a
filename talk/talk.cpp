#include "talk/talk.h"

#include <dlfcn.h>

#include <algorithm>
#include <thread>

#include "audio/aac_encoder.h"
#include "audio/g711.h"
#include "audio/resampler.h"
#include "platform/library.h"
#include "sdk/camera/source.h"
#include "talk/redact.h"
#include "talk/talk_module.h"

namespace tesvano {
namespace {

using Clock = std::chrono::steady_clock;

struct TalkModule {
    TesvanoTalkOpenFn open = nullptr;
    TesvanoTalkSendFn send = nullptr;
    TesvanoTalkCloseFn close = nullptr;
    std::string error;  // why it could not be loaded
};

// Loaded once, the first time something is played.
const TalkModule& Module() {
    static const TalkModule module = [] {
        TalkModule m;
        void* lib = OpenLibraryBesideProgram("libtesvano-talk.so");
        if (!lib) {
            const char* why = dlerror();
            m.error = why ? why : "libtesvano-talk.so not found";
            return m;
        }
        if (!BindSymbol(lib, TESVANO_TALK_OPEN, &m.open) || !BindSymbol(lib, TESVANO_TALK_SEND, &m.send) ||
            !BindSymbol(lib, TESVANO_TALK_CLOSE, &m.close)) {
            m = TalkModule{};
            m.error = "libtesvano-talk.so lacks the talk functions";
        }
        return m;
    }();
    return module;
}

TalkResult FromModule(int code) {
    switch (code) {
    case TESVANO_TALK_OK: return TalkResult::kOk;
    case TESVANO_TALK_UNREACHABLE: return TalkResult::kUnreachable;
    case TESVANO_TALK_UNAUTHORISED: return TalkResult::kUnauthorised;
    case TESVANO_TALK_NO_BACKCHANNEL: return TalkResult::kNoBackchannel;
    case TESVANO_TALK_NO_CODEC: return TalkResult::kNoCodec;
    case TESVANO_TALK_MODULE_MISSING: return TalkResult::kModuleMissing;
    default: return TalkResult::kBroken;
    }
}

// Sleeps until `when`, waking every packet's time to look at *stop.
bool SleepUntil(Clock::time_point when, const std::atomic<bool>* stop) {
    for (;;) {
        if (stop && stop->load()) return false;
        const auto now = Clock::now();
        if (now >= when) return true;
        std::this_thread::sleep_until(std::min(when, now + std::chrono::milliseconds(CameraSpeaker::kPacketMs)));
    }
}

// A packet of G.711 or L16 (network byte order) from `samples` samples; the
// codec is chosen once a packet, not once a sample.
void EncodeLinear(int codec, const uint8_t* in, size_t samples, uint8_t* out) {
    if (codec == TESVANO_TALK_PCMU) {
        for (size_t i = 0; i < samples; ++i) out[i] = LinearToMuLaw(LoadSample(in + 2 * i));
    } else if (codec == TESVANO_TALK_PCMA) {
        for (size_t i = 0; i < samples; ++i) out[i] = LinearToALaw(LoadSample(in + 2 * i));
    } else {
        for (size_t i = 0; i < samples; ++i) {
            out[2 * i] = in[2 * i + 1];  // little-endian in, big-endian out
            out[2 * i + 1] = in[2 * i];
        }
    }
}

TalkResult EncoderFailed(std::string* reason) {
    *reason = "FFmpeg's AAC encoder failed";
    return TalkResult::kBroken;
}

}  // namespace

TalkResult ConfiguredCameraUrl(std::string* url, std::string* reason) {
    std::string source, error;
    switch (camera::FindSource(camera::ProcessConfigPlaces(), &source, &error)) {
    case camera::ConfigResult::kFound: break;
    case camera::ConfigResult::kNone:
        *reason = "no camera source configured (tesvano-cli camera URL)";
        return TalkResult::kNoCamera;
    case camera::ConfigResult::kUnreadable:
        *reason = PrintableText(error);
        return TalkResult::kNoCamera;
    }
    if (!camera::ClassifySource(source).rtsp || source.size() > 4096) {
        *reason = "the camera source is not an rtsp:// address: " + PrintableText(MaskUrlCredentials(source));
        return TalkResult::kNoCamera;
    }
    *url = source;
    return TalkResult::kOk;
}

CameraSpeaker::CameraSpeaker() = default;

CameraSpeaker::~CameraSpeaker() {
    if (session_) Module().close(static_cast<TesvanoTalk*>(session_));
}

const char* CameraSpeaker::codecName() const {
    switch (codec_) {
    case TESVANO_TALK_PCMU: return "PCMU";
    case TESVANO_TALK_PCMA: return "PCMA";
    case TESVANO_TALK_L16: return "L16";
    case TESVANO_TALK_AAC: return "AAC";
    default: return "";
    }
}

size_t CameraSpeaker::packetSamples() const {
    return aac_ ? static_cast<size_t>(aac_->frameSamples()) : static_cast<size_t>(codecRate_ * kPacketMs / 1000);
}

TalkResult CameraSpeaker::Connect(const std::string& url, std::string* reason) {
    const TalkModule& m = Module();
    if (!m.open) {
        *reason = PrintableText(m.error);
        return TalkResult::kModuleMissing;
    }
    char why[512] = {0};
    TesvanoTalk* session = nullptr;
    const int code = m.open(url.c_str(), kStepWaitMs, &session, &codec_, &codecRate_, why, sizeof why);
    if (code != TESVANO_TALK_OK || !session) {
        *reason = why;
        return code == TESVANO_TALK_OK ? TalkResult::kBroken : FromModule(code);
    }
    session_ = session;
    if (codec_ == TESVANO_TALK_AAC) {
        aac_ = std::make_unique<AacEncoder>();
        std::string problem;
        if (!aac_->Open(codecRate_, &problem)) {
            m.close(session);
            session_ = nullptr;
            aac_.reset();
            *reason = "the camera takes only AAC: " + PrintableText(problem);
            return TalkResult::kNoCodec;
        }
    }
    return TalkResult::kOk;
}

TalkResult CameraSpeaker::Send(const uint8_t* payload, size_t bytes, uint32_t samples, const std::atomic<bool>* stop,
                               std::string* reason) {
    // Each packet leaves at its own time from the first one, so waits that
    // run late never add up.
    if (samplesSent_ > 0) {
        const auto due = start_ + std::chrono::microseconds(samplesSent_ * 1000000 / uint64_t(codecRate_));
        if (!SleepUntil(due, stop)) return TalkResult::kStopped;
    } else if (stop && stop->load()) {
        return TalkResult::kStopped;
    }
    char why[512] = {0};
    const int code = Module().send(static_cast<TesvanoTalk*>(session_), payload, bytes, samples, why, sizeof why);
    if (code != TESVANO_TALK_OK) {
        *reason = why;
        return FromModule(code) == TalkResult::kOk ? TalkResult::kBroken : FromModule(code);
    }
    if (samplesSent_ == 0) {
        start_ = Clock::now();
        if (onFirstPacket_) onFirstPacket_();
    }
    samplesSent_ += samples;
    return TalkResult::kOk;
}

TalkResult CameraSpeaker::SendEncoded(const std::atomic<bool>* stop, std::string* reason) {
    for (;;) {
        const int got = aac_->Receive(&unit_);
        if (got == 0) return TalkResult::kOk;
        if (got < 0) return EncoderFailed(reason);
        const TalkResult sent =
            Send(unit_.data(), unit_.size(), static_cast<uint32_t>(aac_->frameSamples()), stop, reason);
        if (sent != TalkResult::kOk) return sent;
    }
}

TalkResult CameraSpeaker::Play(const PcmBuffer& pcm, int rate, const std::atomic<bool>* stop, std::string* reason) {
    if (!session_) return TalkResult::kBroken;
    PcmBuffer audio = std::move(carry_);
    carry_.clear();
    if (rate == codecRate_) {
        audio.insert(audio.end(), pcm.begin(), pcm.end());
    } else {
        ResamplerPtr resampler(CreateResampler(1, 1, codecRate_, rate));
        if (!resampler) {
            *reason = "cannot resample " + std::to_string(rate) + " Hz to " + std::to_string(codecRate_) + " Hz";
            return TalkResult::kNoCodec;
        }
        const size_t base = audio.size();
        audio.resize(base + ResampleOutputCapacity(resampler.get(), static_cast<uint32_t>(pcm.size())));
        const int n = Resample(resampler.get(), pcm.data(), audio.data() + base, static_cast<uint32_t>(pcm.size()));
        audio.resize(base + static_cast<size_t>(std::max(n, 0)));
    }

    const size_t samples = packetSamples();
    const size_t packetBytes = samples * 2;
    const size_t whole = audio.size() / packetBytes * packetBytes;
    std::vector<uint8_t> payload(aac_ ? 0 : codec_ == TESVANO_TALK_L16 ? packetBytes : samples);
    for (size_t at = 0; at < whole; at += packetBytes) {
        const uint8_t* in = audio.data() + at;
        TalkResult sent;
        if (aac_) {
            sent = aac_->Send(in) ? SendEncoded(stop, reason) : EncoderFailed(reason);
        } else {
            EncodeLinear(codec_, in, samples, payload.data());
            sent = Send(payload.data(), payload.size(), static_cast<uint32_t>(samples), stop, reason);
        }
        if (sent != TalkResult::kOk) return sent;
    }
    carry_.assign(audio.begin() + static_cast<std::ptrdiff_t>(whole), audio.end());
    return TalkResult::kOk;
}

TalkResult CameraSpeaker::Finish(const std::atomic<bool>* stop, std::string* reason) {
    if (!session_) return TalkResult::kBroken;
    TalkResult result = TalkResult::kOk;
    // The last part packet, filled up with silence.
    if (!carry_.empty()) {
        PcmBuffer tail(packetSamples() * 2 - carry_.size(), 0);
        result = Play(tail, codecRate_, stop, reason);
    }
    // What the encoder still holds: its look-ahead, a frame or two.
    if (result == TalkResult::kOk && aac_)
        result = aac_->Send(nullptr) ? SendEncoded(stop, reason) : EncoderFailed(reason);
    // Tearing down stops the speaker: let it play out what it holds first.
    if (result == TalkResult::kOk && samplesSent_ > 0) {
        const auto end = start_ + std::chrono::microseconds(samplesSent_ * 1000000 / uint64_t(codecRate_)) +
                         std::chrono::milliseconds(300);
        if (!SleepUntil(end, stop)) result = TalkResult::kStopped;
    }
    const int closed = Module().close(static_cast<TesvanoTalk*>(session_));
    session_ = nullptr;
    if (result == TalkResult::kOk && closed != TESVANO_TALK_OK) {
        *reason = "the connection broke while playing";
        result = TalkResult::kBroken;
    }
    return result;
}

}  // namespace tesvano
