#include "operations/play.h"

#include <cstdio>
#include <optional>
#include <system_error>

#include "i18n/language_table.h"
#include "operations/convert.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "talk/redact.h"

namespace tesvano {
namespace {

// The line that says why, as the operator reads it.
std::u16string ReasonText(TalkResult result) {
    auto& table = CLanguageTable::Instance();
    switch (result) {
    case TalkResult::kOk: break;
    case TalkResult::kNoCamera: return table.GetText("CAMERA_NO_SOURCE");
    case TalkResult::kUnreachable: return table.GetText("CAMERA_UNREACHABLE");
    case TalkResult::kUnauthorised: return table.GetText("CAMERA_UNAUTHORISED");
    case TalkResult::kNoBackchannel: return table.GetText("CAMERA_NO_BACKCHANNEL");
    case TalkResult::kNoCodec: return table.GetText("CAMERA_NO_CODEC");
    case TalkResult::kBroken: return table.GetText("CAMERA_BROKEN");
    case TalkResult::kModuleMissing: return table.GetText("CAMERA_TALK_MISSING");
    case TalkResult::kStopped: return table.GetText("CAMERA_PLAY_STOPPED");
    }
    return {};
}

OpResult Failed(IMainWindow& w, TalkResult result, const std::string& detail, double seconds) {
    w.LogFormat("%s %.1f %s\n", GetAnsiText("CAMERA_PLAY_FAILED").c_str(), seconds,
                GetAnsiText("TIME_SECONDS").c_str());
    if (result != TalkResult::kOk) w.AppendLog(ReasonText(result));
    if (!detail.empty()) {
        std::fprintf(TraceStream(), "camera: %s\n", PrintableText(MaskUrlCredentials(detail)).c_str());
        std::fflush(TraceStream());
    }
    return OpResult::kFailed;
}

}  // namespace

CameraConnection::CameraConnection() {
    result_ = ConfiguredCameraUrl(&url_, &reason_);
    if (result_ != TalkResult::kOk) return;
    try {
        thread_ = std::thread([this] { result_ = speaker_.Connect(url_, &reason_); });
    } catch (const std::system_error&) {
        result_ = speaker_.Connect(url_, &reason_);  // no thread to spare: connect now
    }
}

CameraConnection::~CameraConnection() {
    if (thread_.joinable()) thread_.join();
}

TalkResult CameraConnection::Wait(std::string* reason) {
    if (thread_.joinable()) thread_.join();
    *reason = reason_;
    return result_;
}

OpResult PlayOnCamera(IMainWindow& w, const std::vector<PlayClip>& clips, const PlayControl& control,
                      CameraConnection* ahead) {
    std::optional<CameraConnection> own;
    CameraConnection& connection = ahead ? *ahead : own.emplace();
    std::string reason;
    TalkResult result = connection.Wait(&reason);
    if (result == TalkResult::kNoCamera) return Failed(w, result, reason, 0);
    w.LogFormat("%s %s\n", GetAnsiText("CAMERA_PLAY_START").c_str(), PrintableText(MaskUrlCredentials(connection.url())).c_str());

    CameraSpeaker& speaker = connection.speaker();
    if (control.onFirstPacket) speaker.set_on_first_packet(control.onFirstPacket);
    for (size_t i = 0; result == TalkResult::kOk && i < clips.size(); ++i)
        result = speaker.Play(clips[i].pcm, clips[i].rate, control.stop, &reason);
    if (result == TalkResult::kOk) result = speaker.Finish(control.stop, &reason);
    if (result != TalkResult::kOk) return Failed(w, result, reason, speaker.secondsSent());
    w.LogFormat("%s %.1f %s (%s %d Hz)\n", GetAnsiText("CAMERA_PLAY_DONE").c_str(), speaker.secondsSent(),
                GetAnsiText("TIME_SECONDS").c_str(), speaker.codecName(), speaker.codecRate());
    return OpResult::kDone;
}

OpResult PlayFilesOnCamera(IMainWindow& w, const std::vector<std::string>& files, const PlayControl& control) {
    // Decoded at 16 kHz; the speaker brings it to its codec's rate.
    constexpr int kDecodeRate = 16000;
    std::vector<PlayClip> clips;
    for (const std::string& file : files) {
        PlayClip clip;
        clip.rate = kDecodeRate;
        ConvertResult decoded;
        if (!DecodeInput(w, kDecodeRate, file, &clip.pcm, &decoded)) {
            if (decoded.fileError != 0) ShowFileError(w, file, decoded.fileError);
            return Failed(w, TalkResult::kOk, {}, 0);
        }
        clips.push_back(std::move(clip));
    }
    return PlayOnCamera(w, clips, control);
}

OpResult OnPlayOnCamera(IMainWindow& w) {
    if (w.lastClip().empty()) return OpResult::kFailed;
    return PlayFilesOnCamera(w, {w.lastClip()});
}

}  // namespace tesvano
