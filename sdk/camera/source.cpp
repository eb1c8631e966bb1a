#include "sdk/camera/source.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/config_file.h"
#include "platform/mask.h"

namespace camera {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

enum class FileResult { kFound, kEmpty, kMissing, kUnreadable };

// A source line is short; a megabyte of it is not a camera.conf.
constexpr uint64_t kMaxConfBytes = 1 << 20;

FileResult FirstSourceLine(const std::string& path, std::string* line, std::string* error) {
    std::string text, why;
    switch (tesvano::ReadConfigFile(path, kMaxConfBytes, &text, &why)) {
        case tesvano::ConfigRead::kOk: break;
        case tesvano::ConfigRead::kMissing: return FileResult::kMissing;
        case tesvano::ConfigRead::kFailed: *error = path + ": " + why; return FileResult::kUnreadable;
    }
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string candidate = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (candidate.empty() || candidate[0] == '#') continue;
        *line = candidate;
        return FileResult::kFound;
    }
    return FileResult::kEmpty;
}

}  // namespace

Source ClassifySource(const std::string& url) {
    Source s;
    s.url = url;
    size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        for (const char* device : {"alsa", "pulse"}) {
            std::string prefix = std::string(device) + ":";
            if (StartsWith(url, prefix)) {
                s.kind = SourceKind::kDevice;
                s.deviceFormat = device;
                s.openName = url.substr(prefix.size());
                if (s.openName.empty()) s.openName = "default";
                return s;
            }
        }
        // A bare path: FFmpeg would read "a:b.wav" as protocol "a".
        s.kind = SourceKind::kFile;
        s.openName = "file:" + url;
        return s;
    }
    std::string name = url.substr(0, scheme);
    s.openName = url;
    if (EqualsNoCase(name, "file")) {
        s.kind = SourceKind::kFile;
        return s;
    }
    s.kind = SourceKind::kNetwork;
    s.rtsp = EqualsNoCase(name, "rtsp") || EqualsNoCase(name, "rtsps");
    s.http = EqualsNoCase(name, "http") || EqualsNoCase(name, "https");
    return s;
}

std::string MaskPasswords(std::string_view text) { return tesvano::MaskSecrets(text); }

ConfigPlaces ProcessConfigPlaces() {
    ConfigPlaces p;
    if (const char* env = std::getenv("TESVANO_CAMERA_URL")) p.envUrl = env;
    const std::string folder = tesvano::UserConfigFolder();
    if (!folder.empty()) p.userFile = folder + "/tesvano/camera.conf";
    p.systemFile = "/etc/tesvano/camera.conf";
    return p;
}

ConfigResult FindSource(const ConfigPlaces& places, std::string* source, std::string* error) {
    std::string env = Trim(places.envUrl);
    if (!env.empty()) {
        *source = env;
        return ConfigResult::kFound;
    }
    for (const std::string* path : {&places.userFile, &places.systemFile}) {
        if (path->empty()) continue;
        switch (FirstSourceLine(*path, source, error)) {
            case FileResult::kFound: return ConfigResult::kFound;
            case FileResult::kUnreadable: return ConfigResult::kUnreadable;
            case FileResult::kEmpty:
            case FileResult::kMissing: break;
        }
    }
    return ConfigResult::kNone;
}

}  // namespace camera
