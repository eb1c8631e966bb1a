#include "operations/camera_settings.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "capture/capture_library.h"
#include "discovery/discovery.h"
#include "i18n/language_table.h"
#include "platform/config_file.h"
#include "platform/mask.h"
#include "platform/secret_file.h"
#include "platform/text.h"
#include "talk/talk.h"

namespace tesvano {
namespace {

constexpr uint64_t kMaxConfBytes = 1 << 20;

std::string CameraConfPath() {
    const std::string config = UserConfigFolder();
    return config.empty() ? std::string() : config + "/tesvano/camera.conf";
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? HexValue(s[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(s[i + 2]) : -1;
        if (lo >= 0) {
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Everything that would end the user information or split user from
// password is encoded; the rest stays readable.
std::string PercentEncode(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '!' || c == '$' || c == '&' ||
            c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' || c == ',' || c == ';' || c == '=') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

CameraSourceParts SplitCameraSource(const std::string& source) {
    CameraSourceParts parts;
    const size_t scheme = source.find("://");
    const size_t at = source.rfind('@');
    if (scheme == std::string::npos || at == std::string::npos || at < scheme + 3) {
        parts.address = source;
        return parts;
    }
    const std::string userInfo = source.substr(scheme + 3, at - scheme - 3);
    parts.address = source.substr(0, scheme + 3) + source.substr(at + 1);
    const size_t colon = userInfo.find(':');
    parts.user = PercentDecode(userInfo.substr(0, colon));
    if (colon != std::string::npos) parts.password = PercentDecode(userInfo.substr(colon + 1));
    return parts;
}

std::string JoinCameraSource(const CameraSourceParts& parts) {
    const size_t scheme = parts.address.find("://");
    if (scheme == std::string::npos || (parts.user.empty() && parts.password.empty())) return parts.address;
    std::string userInfo = PercentEncode(parts.user);
    if (!parts.password.empty()) userInfo += ":" + PercentEncode(parts.password);
    return parts.address.substr(0, scheme + 3) + userInfo + "@" + parts.address.substr(scheme + 3);
}

std::string ReadUserCameraSource() {
    const std::string path = CameraConfPath();
    std::string text, error;
    if (path.empty() || ReadConfigFile(path, kMaxConfBytes, &text, &error) != ConfigRead::kOk) return {};
    // The first line that is neither blank nor a comment, as the capture library reads it.
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#') {
            const size_t last = line.find_last_not_of(" \t");
            return line.substr(first, last - first + 1);
        }
        start = end + 1;
    }
    return {};
}

bool SaveCameraSource(const std::string& source, std::string* error) {
    if (source.empty() || source.find_first_of("\r\n") != std::string::npos) {
        *error = "the camera source must be one line";
        return false;
    }
    const std::string path = CameraConfPath();
    if (path.empty()) {
        *error = "no home folder to keep camera.conf in";
        return false;
    }
    // The source may hold a password: owner-only file in an owner-only folder.
    std::string why;
    if (WriteSecretFile(path, "# Camera source for Tesvano's recording\n" + source + "\n", &why)) return true;
    *error = "cannot write " + why;
    return false;
}

bool TestCameraSource(const std::string& source, std::string* report) {
    return TestCaptureSource(source, report);
}

namespace {

// Two bell notes falling away within a second: short, and unmistakable on a
// small speaker.
PcmBuffer Chime(int rate) {
    const size_t samples = static_cast<size_t>(rate);
    PcmBuffer pcm(samples * 2);
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        double v = std::exp(-4 * t) * std::sin(2 * M_PI * 880 * t);
        if (t >= 0.25) v += std::exp(-4 * (t - 0.25)) * std::sin(2 * M_PI * 660 * (t - 0.25));
        const auto s = static_cast<int16_t>(std::lround(v * 0.45 * 32767));
        pcm[2 * i] = static_cast<uint8_t>(s & 0xFF);
        pcm[2 * i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
    }
    return pcm;
}

}  // namespace

bool TestCameraSpeaker(const std::string& source, std::string* report) {
    constexpr int kRate = 16000;
    const std::atomic<bool> never{false};
    CameraSpeaker speaker;
    std::string reason;
    TalkResult r = speaker.Connect(source, &reason);
    if (r == TalkResult::kOk) r = speaker.Play(Chime(kRate), kRate, &never, &reason);
    if (r == TalkResult::kOk) r = speaker.Finish(&never, &reason);
    if (r != TalkResult::kOk) {
        *report = MaskSecrets(reason);
        return false;
    }
    char line[96];
    std::snprintf(line, sizeof line, "%.1f s sent as %s at %d Hz", speaker.secondsSent(), speaker.codecName(),
                  speaker.codecRate());
    *report = line;
    return true;
}

bool FindCamerasNearby(std::vector<FoundCameraEntry>* found, std::string* report) {
    constexpr int kProbeMs = 3000;
    std::vector<FoundCamera> cameras;
    std::string detail;
    found->clear();
    if (FindCameras(kProbeMs, &cameras, &detail) != OnvifStatus::kOk) {
        *report = detail;
        return false;
    }
    for (const FoundCamera& c : cameras) {
        if (c.xaddrs.empty()) continue;
        // What a device calls itself is shown, never interpreted.
        std::string label = c.name.empty() ? "-" : c.name;
        if (!c.hardware.empty()) label += ", " + c.hardware;
        label += ", " + MaskSecrets(c.xaddrs.front());
        found->push_back({PrintableText(label), c.xaddrs.front()});
    }
    return true;
}

bool AskCameraAddress(const std::string& device, const std::string& user, const std::string& password,
                      std::string* address, int* speakers, std::string* report) {
    constexpr int kCallMs = 5000;
    const std::string url = device.find("://") != std::string::npos ? device : DeviceServiceUrl(device);
    if (url.empty()) {
        *report = device + ": not a camera address";
        return false;
    }
    CameraStream stream;
    std::string detail;
    if (GetCameraStream(url, user, password, kCallMs, &stream, &detail) != OnvifStatus::kOk) {
        *report = MaskSecrets(detail);
        return false;
    }
    *address = stream.uri;
    *speakers = stream.speakers;
    *report = PrintableText("profile " + stream.profile + (stream.audio ? " (with audio)" : ""));
    auto& table = CLanguageTable::Instance();
    *report += "; " + WideToUtf8(stream.speakers > 0    ? table.GetText("CAMERA_HAS_SPEAKER")
                                 : stream.speakers == 0 ? table.GetText("CAMERA_NO_SPEAKER")
                                                        : table.GetText("CAMERA_SPEAKER_UNKNOWN"));
    return true;
}

OpResult OnCameraSettings(IMainWindow& w) {
    CameraSourceParts parts = SplitCameraSource(ReadUserCameraSource());
    if (!w.EditCameraSource(&parts)) return OpResult::kDone;  // closed without saving
    const std::string source = JoinCameraSource(parts);
    std::string error;
    auto& table = CLanguageTable::Instance();
    if (!SaveCameraSource(source, &error)) {
        w.AppendLog(table.GetText("CAMERA_SAVE_FAILED"));
        w.AppendLog(AnsiToWide(MaskSecrets(error)));
        return OpResult::kFailed;
    }
    w.AppendLog(table.GetText("CAMERA_SAVED") + AnsiToWide(MaskSecrets(source)));
    return OpResult::kDone;
}

}  // namespace tesvano
