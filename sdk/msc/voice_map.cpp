#include "sdk/msc/voice_map.h"

#include "sdk/msc/report.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/config_file.h"
#include "platform/mask.h"
#include "sdk/msc/params.h"
#include "sdk/msc/voices.h"

namespace msc {
namespace {

constexpr size_t kMaxFileBytes = 1 << 20;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

bool IsEnvName(std::string_view s) {
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

// Printable ASCII and UTF-8, no blanks or control characters.
bool IsUrlText(std::string_view s) {
    for (unsigned char c : s)
        if (c <= ' ' || c == 0x7F) return false;
    return true;
}

bool Fail(std::string* error, size_t line, const std::string& what) {
    *error = "line " + std::to_string(line) + ": " + what;
    return false;
}

bool SetServerKey(ServerConfig& s, const std::string& key, std::string_view value, size_t line, std::string* error) {
    if (key == "url") {
        if (!(StartsWithNoCase(value, "http://") || StartsWithNoCase(value, "https://")) || !IsUrlText(value) ||
            value.find_first_not_of('/', value.find("://") + 3) == std::string_view::npos)
            return Fail(error, line, "url must be an http:// or https:// address");
        s.url = value;
    } else if (key == "model") {
        if (value.empty() || HasControlCharacters(value)) return Fail(error, line, "model must be a name");
        s.model = value;
    } else if (key == "key_env") {
        if (!value.empty() && !IsEnvName(value)) return Fail(error, line, "key_env must name an environment variable");
        s.keyEnv = value;
    } else if (key == "format") {
        const std::string f = Lower(value);
        if (f == "wav") s.format = ServerFormat::kWav;
        else if (f == "pcm") s.format = ServerFormat::kPcm;
        else if (f == "mp3") s.format = ServerFormat::kMp3;
        else return Fail(error, line, "format must be wav, pcm or mp3");
    } else if (key == "timeout") {
        int seconds = 0;
        if (value.empty() || value.size() > 4) return Fail(error, line, "timeout must be 1 to 3600 seconds");
        for (char c : value) {
            if (c < '0' || c > '9') return Fail(error, line, "timeout must be 1 to 3600 seconds");
            seconds = seconds * 10 + (c - '0');
        }
        if (seconds < 1 || seconds > 3600) return Fail(error, line, "timeout must be 1 to 3600 seconds");
        s.timeoutSeconds = seconds;
    } else {
        return Fail(error, line, "unknown key '" + key + "' in [server]");
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

const std::string* VoiceMap::ServerVoice(std::string_view ourName) const {
    const Voice* voice = FindVoice(ourName);
    if (!voice) return nullptr;
    for (const auto& [ours, theirs] : voices)
        if (ours == voice->name) return &theirs;
    return nullptr;
}

bool ParseVoiceMap(std::string_view text, VoiceMap* out, std::string* error) {
    VoiceMap map;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    enum class Section { kNone, kServer, kVoices } section = Section::kNone;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line.back() != ']') return Fail(error, lineNumber, "a section needs a closing ]");
            const std::string name = Lower(Trim(line.substr(1, line.size() - 2)));
            if (name == "server") section = Section::kServer;
            else if (name == "voices") section = Section::kVoices;
            else return Fail(error, lineNumber, "unknown section [" + name + "]");
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) return Fail(error, lineNumber, "expected key = value");
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key.empty()) return Fail(error, lineNumber, "expected key = value");
        switch (section) {
            case Section::kNone: return Fail(error, lineNumber, "key outside [server] or [voices]");
            case Section::kServer:
                if (!SetServerKey(map.server, Lower(key), value, lineNumber, error)) return false;
                break;
            case Section::kVoices: {
                const Voice* voice = FindVoice(key);
                if (!voice) return Fail(error, lineNumber, "no voice '" + std::string(key) + "'");
                if (value.empty() || HasControlCharacters(value)) return Fail(error, lineNumber, "the server's voice name is missing");
                for (const auto& [ours, theirs] : map.voices)
                    if (ours == voice->name) return Fail(error, lineNumber, "voice '" + ours + "' is mapped twice");
                map.voices.emplace_back(voice->name, value);
                break;
            }
        }
    }
    if (!map.voices.empty() && map.server.url.empty()) {
        *error = "voices are mapped but [server] has no url";
        return false;
    }
    *out = std::move(map);
    return true;
}

std::string VoiceMapPath() {
    const char* named = std::getenv("TESVANO_VOICES");
    if (named && *named) return named;
    const std::string config = tesvano::UserConfigFolder();
    if (!config.empty()) {
        std::string path = config + "/tesvano/voices.conf";
        if (Exists(path)) return path;
    }
    const std::string system = "/etc/tesvano/voices.conf";
    return Exists(system) ? system : std::string();
}

bool LoadVoiceMap(VoiceMap* out) {
    *out = VoiceMap{};
    const std::string path = VoiceMapPath();
    if (path.empty()) return true;
    std::string text, error;
    // A missing file at a named path is as unreadable as a FIFO there.
    const tesvano::ConfigRead read = tesvano::ReadConfigFile(path, kMaxFileBytes, &text, &error);
    if (read == tesvano::ConfigRead::kMissing) error = std::strerror(ENOENT);
    if (read == tesvano::ConfigRead::kOk && ParseVoiceMap(text, out, &error)) return true;
    *out = VoiceMap{};
    static std::mutex mutex;
    static std::string lastReport;
    const std::string report = path + ": " + error;
    std::lock_guard lock(mutex);
    if (report != lastReport) {
        Report("ignoring voice map " + report + "; every voice is built in");
        lastReport = report;
    }
    return false;
}

std::string MaskUrl(std::string_view url) { return tesvano::MaskSecrets(url); }

}  // namespace msc
