#include "sdk/msc/voice_map.h"

#include "sdk/msc/report.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ini.h>
#include <mutex>
#include <sys/stat.h>

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

// One key of a section, by the rules of voices.conf.
bool SetKey(VoiceMap& map, std::string_view section, std::string_view key, std::string_view value, size_t line,
            std::string* error) {
    if (key.empty()) return Fail(error, line, "expected key = value");
    if (section == "server") return SetServerKey(map.server, Lower(key), value, line, error);
    if (section != "voices") return Fail(error, line, "key outside [server] or [voices]");
    const Voice* voice = FindVoice(key);
    if (!voice) return Fail(error, line, "no voice '" + std::string(key) + "'");
    if (value.empty() || HasControlCharacters(value)) return Fail(error, line, "the server's voice name is missing");
    for (const auto& [ours, theirs] : map.voices)
        if (ours == voice->name) return Fail(error, line, "voice '" + ours + "' is mapped twice");
    map.voices.emplace_back(voice->name, value);
    return true;
}

// Debian's inih reads its settings from variables; ours is a private copy
// (linked in statically), so setting them once touches nobody else's.
void UseOurIniSyntax() {
    [[maybe_unused]] static const bool done = [] {
        static char hash[] = "#";
        ini_start_comment_prefixes = hash;  // ';' starts no comment
        ini_allow_inline_comments = false;  // '#' comments are cut before inih sees the line
        ini_allow_multiline = false;        // an indented line is a line of its own
        ini_allow_bom = false;              // only the file's first BOM is skipped, below
        ini_allow_no_value = false;         // a line without '=' is an error
        ini_stop_on_first_error = true;
        // Lines of any length, read whole: inih numbers the pieces of a cut line as lines.
        ini_use_stack = false;
        ini_allow_realloc = true;
        ini_max_line = INT_MAX;
        return true;
    }();
}

// What inih's reader and handler share. Debian's ini.h gives the handler no
// line number, so the reader counts lines: it hands inih one line at a time,
// and inih calls the handler for a line before it reads the next.
struct IniParse {
    std::string_view text;  // what is left after the current line
    size_t lineNumber = 0;
    std::string line;  // the current line as inih gets it, with its '\n'
    size_t handed = 0;  // of it, in pieces as long as inih's buffer
    std::string section;
    VoiceMap map;
    std::string error;

    // The next line, cut to what inih should read; false at the end or on an error.
    bool NextLine();
};

bool IniParse::NextLine() {
    if (text.empty()) return false;
    ++lineNumber;
    const size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    // '#' starts a comment anywhere on a line, which inih cannot be told.
    raw = Trim(raw.substr(0, raw.find('#')));
    handed = 0;
    if (!raw.empty() && raw.front() == '[') {
        // inih calls no handler on a section line, and reads "[a] b" as [a].
        if (raw.back() != ']') return Fail(&error, lineNumber, "a section needs a closing ]");
        section = Lower(Trim(raw.substr(1, raw.size() - 2)));
        if (section != "server" && section != "voices")
            return Fail(&error, lineNumber, "unknown section [" + section + "]");
        line = "[" + section + "]\n";
        return true;
    }
    // inih also splits at ':', trims \v and \f, and ends a line at a NUL.
    // No key or value of ours holds one: such a line is checked here, split
    // at its first '=' as voices.conf always was, so it fails the same way.
    const size_t equals = raw.find('=');
    if (raw.find_first_of(std::string_view("\v\f\0", 3)) != std::string_view::npos || raw.find(':') < equals) {
        if (equals == std::string_view::npos) return Fail(&error, lineNumber, "expected key = value");
        if (!SetKey(map, section, Trim(raw.substr(0, equals)), Trim(raw.substr(equals + 1)), lineNumber, &error))
            return false;
        raw = {};
    }
    line.assign(raw);
    line += '\n';
    return true;
}

// inih's fgets-like reader: one line per call, or the next piece of it when
// inih's buffer was too short.
char* ReadIniLine(char* buffer, int size, void* stream) {
    IniParse& parse = *static_cast<IniParse*>(stream);
    if (parse.handed == parse.line.size() && !parse.NextLine()) return nullptr;
    const size_t n = std::min(parse.line.size() - parse.handed, static_cast<size_t>(size - 1));
    std::memcpy(buffer, parse.line.data() + parse.handed, n);
    buffer[n] = '\0';
    parse.handed += n;
    return buffer;
}

int TakeIniKey(void* user, const char* section, const char* name, const char* value) {
    IniParse& parse = *static_cast<IniParse*>(user);
    return SetKey(parse.map, section, name, value, parse.lineNumber, &parse.error) ? 1 : 0;
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
    UseOurIniSyntax();
    IniParse parse;
    parse.text = text;
    if (parse.text.substr(0, 3) == "\xEF\xBB\xBF") parse.text.remove_prefix(3);
    const int rc = ini_parse_stream(ReadIniLine, &parse, TakeIniKey, &parse);
    if (!parse.error.empty()) {
        *error = std::move(parse.error);
        return false;
    }
    // A line without '=' (inih stops right after it, so it is the last one read).
    if (rc > 0) return Fail(error, parse.lineNumber, "expected key = value");
    if (rc < 0) {
        *error = std::strerror(ENOMEM);
        return false;
    }
    if (!parse.map.voices.empty() && parse.map.server.url.empty()) {
        *error = "voices are mapped but [server] has no url";
        return false;
    }
    *out = std::move(parse.map);
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
