// libFuzzer target: any bytes as a device's answer. The first byte picks
// the reader (ProbeMatches, GetServices, GetCapabilities, GetProfiles,
// GetStreamUri, GetAudioOutputs, a fault); what a reader accepts must keep
// its promises: http(s) addresses, one camera per endpoint, an rtsp address
// on one line, profiles with a token.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "discovery/onvif_xml.h"

namespace {

bool OneLine(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) <= ' ') return false;
    return true;
}

bool Http(const std::string& s) { return (s.starts_with("http://") || s.starts_with("https://")) && OneLine(s); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view xml(reinterpret_cast<const char*>(data) + 1, size - 1);
    using namespace tesvano;
    switch (data[0] % 7) {
    case 0: {
        std::vector<FoundCamera> found;
        ParseProbeMatches(xml, "urn:uuid:1", &found);
        ParseProbeMatches(xml, "urn:uuid:1", &found);  // the same answer twice adds nothing
        for (size_t i = 0; i < found.size(); ++i) {
            if (found[i].xaddrs.empty()) std::abort();
            for (const auto& x : found[i].xaddrs)
                if (!Http(x)) std::abort();
            for (size_t j = 0; j < i; ++j)
                if (found[j].endpoint == found[i].endpoint) std::abort();
            for (char c : PrintableText(found[i].name))
                if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) std::abort();
        }
        break;
    }
    case 1:
    case 2: {
        OnvifServices s;
        if (data[0] % 7 == 1) ParseServices(xml, &s);
        else ParseCapabilities(xml, &s);
        for (const std::string* a : {&s.media, &s.media2, &s.deviceIo})
            if (!a->empty() && !Http(*a)) std::abort();
        break;
    }
    case 3: {
        std::vector<MediaProfile> profiles;
        ParseProfiles(xml, &profiles);
        for (const auto& p : profiles)
            if (p.token.empty()) std::abort();
        break;
    }
    case 4: {
        std::string uri;
        if (ParseStreamUri(xml, &uri)) {
            if (!uri.starts_with("rtsp://") && !uri.starts_with("rtsps://")) std::abort();
            if (!OneLine(uri)) std::abort();
            if (MaskUrlPassword(WithCredentials(uri, "u", "p:@/")).find("p:@/") != std::string::npos) std::abort();
        }
        break;
    }
    case 5:
        if (ParseAudioOutputs(xml) < -1) std::abort();
        break;
    default:
        ParseFault(xml);
    }
    return 0;
}
