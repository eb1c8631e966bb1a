// libFuzzer target: any bytes as voices.conf, read through the engine's own
// loader. A map it accepts names only our voices, each once, with a server
// it can reach (http or https) and settings in range; the request built for
// each voice is JSON without raw control characters; masking the url keeps
// its password out.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sdk/msc/server_speech.h"
#include "sdk/msc/voice_map.h"
#include "sdk/msc/voices.h"
#include "tests/fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool named = [] { return setenv("TESVANO_VOICES", (tesvano::fuzz::Folder() + "/voices.conf").c_str(), 1) == 0; }();
    if (!named) std::abort();
    tesvano::fuzz::WriteInput("voices.conf", data, size);
    msc::VoiceMap map;
    if (!msc::LoadVoiceMap(&map)) {
        if (!map.voices.empty() || !map.server.url.empty()) std::abort();  // refused means all built in
        return 0;
    }
    const msc::ServerConfig& s = map.server;
    std::string scheme = s.url.substr(0, 8);
    for (char& c : scheme) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (!map.voices.empty() && s.url.empty()) std::abort();
    if (!s.url.empty() && scheme.rfind("http://", 0) != 0 && scheme.rfind("https://", 0) != 0) std::abort();
    if (s.timeoutSeconds < 1 || s.timeoutSeconds > 3600 || s.model.empty()) std::abort();
    for (size_t i = 0; i < map.voices.size(); ++i) {
        const auto& [ours, theirs] = map.voices[i];
        const msc::Voice* voice = msc::FindVoice(ours);
        if (!voice || ours != voice->name || theirs.empty()) std::abort();
        for (size_t j = 0; j < i; ++j)
            if (map.voices[j].first == ours) std::abort();
        if (map.ServerVoice(ours) != &theirs) std::abort();
        const std::string request = msc::BuildSpeechRequest(s, theirs, "text", 50);
        if (request.front() != '{' || request.back() != '}') std::abort();
        for (unsigned char c : request)
            if (c < 0x20) std::abort();
    }
    // Whatever stands between "://" and the last "@" is masked.
    const std::string masked = msc::MaskUrl(s.url);
    // "***" may stand for less than three bytes: once for the user part, once
    // per query value.
    const auto values = static_cast<size_t>(std::count(s.url.begin(), s.url.end(), '='));
    if (masked.size() > s.url.size() + 3 * (values + 1)) std::abort();
    const size_t colons = s.url.find("://");
    const size_t at = s.url.rfind('@');
    if (colons != std::string::npos && at != std::string::npos && at >= colons + 3 &&
        masked.compare(colons + 3, 4, "***@") != 0)
        std::abort();
    return 0;
}
