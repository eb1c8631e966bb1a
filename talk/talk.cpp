#include "talk/talk.h"

#include <dlfcn.h>

#include <algorithm>
#include <thread>

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

CameraSpeaker::~CameraSpeaker() {
    if (session_) Module().close(static_cast<TesvanoTalk*>(session_));
}

const char* CameraSpeaker::codecName() const {
    return codec_ == TESVANO_TALK_PCMU ? "PCMU" : codec_ == TESVANO_TALK_PCMA ? "PCMA" : codec_ ? "L16" : "";
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
    return TalkResult::kOk;
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

    const size_t packetSamples = static_cast<size_t>(codecRate_ * kPacketMs / 1000);
    const size_t packetBytes = packetSamples * 2;
    const size_t whole = audio.size() / packetBytes * packetBytes;
    std::vector<uint8_t> payload(codec_ == TESVANO_TALK_L16 ? packetBytes : packetSamples);
    const TesvanoTalkSendFn send = Module().send;
    for (size_t at = 0; at < whole; at += packetBytes) {
        // Each packet leaves at its own time from the first one, so waits
        // that run late never add up.
        if (samplesSent_ > 0) {
            const auto due = start_ + std::chrono::microseconds(samplesSent_ * 1000000 / uint64_t(codecRate_));
            if (!SleepUntil(due, stop)) return TalkResult::kStopped;
        } else if (stop && stop->load()) {
            return TalkResult::kStopped;
        }
        const uint8_t* in = audio.data() + at;
        for (size_t i = 0; i < packetSamples; ++i) {
            const int16_t s = LoadSample(in + 2 * i);
            if (codec_ == TESVANO_TALK_PCMU) payload[i] = LinearToMuLaw(s);
            else if (codec_ == TESVANO_TALK_PCMA) payload[i] = LinearToALaw(s);
            else {  // L16 is network byte order
                payload[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
                payload[2 * i + 1] = static_cast<uint8_t>(s & 0xFF);
            }
        }
        char why[512] = {0};
        const int code = send(static_cast<TesvanoTalk*>(session_), payload.data(), payload.size(),
                              static_cast<uint32_t>(packetSamples), why, sizeof why);
        if (code != TESVANO_TALK_OK) {
            *reason = why;
            return FromModule(code) == TalkResult::kOk ? TalkResult::kBroken : FromModule(code);
        }
        if (samplesSent_ == 0) {
            start_ = Clock::now();
            if (onFirstPacket_) onFirstPacket_();
        }
        samplesSent_ += packetSamples;
    }
    carry_.assign(audio.begin() + static_cast<std::ptrdiff_t>(whole), audio.end());
    return TalkResult::kOk;
}

TalkResult CameraSpeaker::Finish(const std::atomic<bool>* stop, std::string* reason) {
    if (!session_) return TalkResult::kBroken;
    TalkResult result = TalkResult::kOk;
    // The last part packet, filled up with silence.
    if (!carry_.empty()) {
        const size_t packetBytes = static_cast<size_t>(codecRate_ * kPacketMs / 1000) * 2;
        PcmBuffer tail(packetBytes - carry_.size(), 0);
        result = Play(tail, codecRate_, stop, reason);
    }
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
