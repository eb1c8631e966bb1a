// libFuzzer target: any bytes as the engine's login or session-begin
// parameter string. Pairs come back with trimmed, lower-case, non-empty keys;
// accepted parameters are within the ranges the engine can synthesise.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sdk/msc/msc.h"
#include "sdk/msc/params.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool Trimmed(std::string_view s) { return s.empty() || (!Blank(s.front()) && !Blank(s.back())); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    msc::KeyValues pairs;
    if (msc::ParseKeyValues(text, &pairs)) {
        for (const auto& [key, value] : pairs) {
            if (key.empty() || !Trimmed(key) || !Trimmed(value)) std::abort();
            for (char c : key)
                if (c >= 'A' && c <= 'Z') std::abort();
        }
    }
    msc::SessionParams params;
    if (msc::ParseSessionParams(text, &params) == MSP_SUCCESS) {
        if (params.sampleRate != 8000 && params.sampleRate != 16000) std::abort();
        for (int level : {params.speed, params.volume, params.pitch})
            if (level < 0 || level > 100) std::abort();
        if (!Trimmed(params.voiceName)) std::abort();
    }
    return 0;
}
