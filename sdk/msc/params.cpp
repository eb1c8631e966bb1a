#include "sdk/msc/params.h"

#include <charconv>

#include "sdk/msc/msc.h"

namespace msc {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

bool HasControlCharacters(std::string_view s) {
    for (unsigned char c : s)
        if (c < ' ' || c == 0x7F) return true;
    return false;
}

namespace {

bool ParseInt(std::string_view s, int* out) {
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, *out);
    return ec == std::errc() && p == end;
}

// 0..100 with 50 as the voice's normal.
bool ParseLevel(std::string_view s, int* out) { return ParseInt(s, out) && *out >= 0 && *out <= 100; }

}  // namespace

bool ParseKeyValues(std::string_view text, KeyValues* out) {
    out->clear();
    while (true) {
        size_t comma = text.find(',');
        std::string_view pair = Trim(text.substr(0, comma));
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            if (eq == std::string_view::npos) return false;
            std::string_view key = Trim(pair.substr(0, eq));
            if (key.empty()) return false;
            out->emplace_back(Lower(key), std::string(Trim(pair.substr(eq + 1))));
        }
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

int ParseSessionParams(std::string_view text, SessionParams* out) {
    KeyValues pairs;
    if (!ParseKeyValues(text, &pairs)) return MSP_ERROR_INVALID_PARA;
    *out = SessionParams();
    bool haveVoice = false;
    for (const auto& [key, value] : pairs) {
        if (key == "voice_name") {
            out->voiceName = value;
            haveVoice = true;
        } else if (key == "sample_rate") {
            if (!ParseInt(value, &out->sampleRate) || (out->sampleRate != 8000 && out->sampleRate != 16000))
                return MSP_ERROR_UNSUPPORTED_RATE;
        } else if (key == "speed") {
            if (!ParseLevel(value, &out->speed)) return MSP_ERROR_INVALID_PARA;
        } else if (key == "volume") {
            if (!ParseLevel(value, &out->volume)) return MSP_ERROR_INVALID_PARA;
        } else if (key == "pitch") {
            if (!ParseLevel(value, &out->pitch)) return MSP_ERROR_INVALID_PARA;
        } else if (key == "text_encoding") {
            std::string enc = Lower(value);
            // GB18030 holds GB2312 and GBK whole, so one decoder reads all three.
            if (enc == "gb2312" || enc == "gbk" || enc == "gb18030")
                out->encoding = TextEncoding::kGb18030;
            else if (enc == "utf8" || enc == "utf-8")
                out->encoding = TextEncoding::kUtf8;
            else
                return MSP_ERROR_UNSUPPORTED_ENCODING;
        }
        // Other keys (rdn, aue, ...) change nothing here.
    }
    if (!haveVoice) return MSP_ERROR_UNKNOWN_VOICE;
    return MSP_SUCCESS;
}

}  // namespace msc
