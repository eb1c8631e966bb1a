#include "sdk/camera/source.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

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

// Ends a URL inside a log line as well as the authority part of it.
bool EndsUrl(char c) { return IsBlank(c) || c == '"' || c == '\'' || c == '<' || c == '>'; }

enum class FileResult { kFound, kEmpty, kMissing, kUnreadable };

FileResult FirstSourceLine(const std::string& path, std::string* line, std::string* error) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "re"), std::fclose);
    if (!f) {
        if (errno == ENOENT || errno == ENOTDIR) return FileResult::kMissing;
        *error = path + ": " + std::strerror(errno);
        return FileResult::kUnreadable;
    }
    char* buf = nullptr;
    size_t cap = 0;
    FileResult result = FileResult::kEmpty;
    for (;;) {
        errno = 0;
        ssize_t n = getline(&buf, &cap, f.get());
        if (n < 0) break;
        std::string text = Trim(std::string_view(buf, size_t(n)));
        if (text.empty() || text[0] == '#') continue;
        *line = text;
        result = FileResult::kFound;
        break;
    }
    int readErrno = errno;
    bool failed = result != FileResult::kFound && std::ferror(f.get());
    std::free(buf);
    if (failed) {
        *error = path + ": " + std::strerror(readErrno ? readErrno : EIO);
        return FileResult::kUnreadable;
    }
    return result;
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

std::string MaskPasswords(std::string_view text) {
    std::string out(text);
    // user:password@ after every "://"
    for (size_t pos = out.find("://"); pos != std::string::npos; pos = out.find("://", pos + 3)) {
        size_t start = pos + 3;
        size_t end = start;
        while (end < out.size() && !EndsUrl(out[end]) && out[end] != '/' && out[end] != '?' && out[end] != '#') ++end;
        size_t at = out.rfind('@', end == 0 ? 0 : end - 1);
        if (at == std::string::npos || at < start) continue;
        size_t colon = out.find(':', start);
        if (colon == std::string::npos || colon > at) continue;
        out.replace(colon + 1, at - colon - 1, "***");
    }
    // ?password=... and &pwd=... as some cameras take them
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] != '?' && out[i] != '&' && out[i] != ';') continue;
        size_t eq = i + 1;
        while (eq < out.size() && out[eq] != '=' && out[eq] != '&' && !EndsUrl(out[eq])) ++eq;
        if (eq >= out.size() || out[eq] != '=') continue;
        std::string_view key = std::string_view(out).substr(i + 1, eq - i - 1);
        if (!EqualsNoCase(key, "password") && !EqualsNoCase(key, "passwd") && !EqualsNoCase(key, "pass") &&
            !EqualsNoCase(key, "pwd"))
            continue;
        size_t end = eq + 1;
        while (end < out.size() && out[end] != '&' && out[end] != '#' && !EndsUrl(out[end])) ++end;
        out.replace(eq + 1, end - eq - 1, "***");
    }
    return out;
}

ConfigPlaces ProcessConfigPlaces() {
    ConfigPlaces p;
    if (const char* env = std::getenv("TESVANO_CAMERA_URL")) p.envUrl = env;
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        p.userFile = std::string(xdg) + "/tesvano/camera.conf";
    else if (home && home[0])
        p.userFile = std::string(home) + "/.config/tesvano/camera.conf";
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
