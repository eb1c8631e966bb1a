#include "discovery/discovery.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "discovery/onvif_module.h"
#include "platform/library.h"

namespace tesvano {
namespace {

struct OnvifModule {
    decltype(&TesvanoOnvifProbe) Probe = nullptr;
    decltype(&TesvanoOnvifCall) Call = nullptr;
    std::string error;
};

const OnvifModule& Module() {
    static const OnvifModule module = [] {
        OnvifModule m;
        void* lib = OpenLibraryBesideProgram("libtesvano-onvif.so");
        if (!lib) {
            const char* why = dlerror();
            m.error = std::string("the ONVIF module is not available: ") + (why ? why : "libtesvano-onvif.so");
            return m;
        }
        if (!BindSymbol(lib, "TesvanoOnvifProbe", &m.Probe) || !BindSymbol(lib, "TesvanoOnvifCall", &m.Call)) {
            m.Probe = nullptr;
            m.Call = nullptr;
            m.error = "the ONVIF module libtesvano-onvif.so is incomplete";
        }
        return m;
    }();
    return module;
}

std::string NewMessageId() {
    std::random_device random;
    char id[64];
    const unsigned a = random(), b = random(), c = random(), d = random();
    std::snprintf(id, sizeof id, "urn:uuid:%08x-%04x-4%03x-%04x-%04x%08x", a, b >> 16, b & 0xfff,
                  0x8000 | (c & 0x3fff), c >> 16, d);
    return id;
}

// scheme://host[:port] of a URL.
std::string Origin(const std::string& url) {
    const size_t host = url.find("://");
    if (host == std::string::npos) return {};
    const size_t end = url.find_first_of("/?#", host + 3);
    return url.substr(0, end == std::string::npos ? url.size() : end);
}

// Credentials go only where the operator pointed: a service address the
// device names elsewhere (often its address behind a router) is reached
// through the device's own address.
std::string OnDevice(const std::string& deviceUrl, const std::string& serviceUrl) {
    const std::string origin = Origin(serviceUrl);
    return Origin(deviceUrl) + serviceUrl.substr(origin.size());
}

struct Call {
    int status = 0;
    std::string answer;
};

void Collect(const char* data, size_t size, void* user) { static_cast<std::string*>(user)->assign(data, size); }

Call Post(const std::string& url, const std::string& user, const std::string& password, const std::string& body,
          int timeoutMs) {
    Call c;
    c.status = Module().Call(url.c_str(), user.c_str(), password.c_str(), body.c_str(), timeoutMs, Collect, &c.answer);
    return c;
}

// The status for an answer that is not the one asked for.
OnvifStatus Refusal(const Call& c, const char* what, std::string* detail) {
    if (c.status == kTesvanoOnvifNoConnection) {
        *detail = std::string("the camera did not answer ") + what;
        return OnvifStatus::kNoAnswer;
    }
    if (c.status == kTesvanoOnvifTooLarge) {
        *detail = std::string("the camera's answer to ") + what + " is too large";
        return OnvifStatus::kBadAnswer;
    }
    if (c.status < 0) {
        *detail = std::string("cannot ask the camera for ") + what;
        return OnvifStatus::kFailed;
    }
    if (c.status == 401 || ParseFault(c.answer) == SoapFault::kNotAuthorized) {
        *detail = "unauthorised: the camera refused the user or password";
        return OnvifStatus::kUnauthorised;
    }
    *detail = std::string("the camera's answer to ") + what + " is not usable (HTTP " + std::to_string(c.status) + ")";
    return OnvifStatus::kBadAnswer;
}

}  // namespace

bool OnvifModuleAvailable(std::string* detail) {
    *detail = Module().error;
    return Module().Call != nullptr;
}

OnvifStatus FindCameras(int timeoutMs, std::vector<FoundCamera>* cameras, std::string* detail) {
    const OnvifModule& m = Module();
    if (!m.Probe) {
        *detail = m.error;
        return OnvifStatus::kNoModule;
    }
    struct Gather {
        std::string messageId;
        std::vector<FoundCamera>* cameras;
    } gather{NewMessageId(), cameras};
    const std::string probe = ProbeMessage(gather.messageId);
    const int sent = m.Probe(
        probe.data(), probe.size(), timeoutMs,
        [](const char* data, size_t size, void* user) {
            auto* g = static_cast<Gather*>(user);
            ParseProbeMatches(std::string_view(data, size), g->messageId, g->cameras);
        },
        &gather);
    if (sent == kTesvanoOnvifNoInterface) {
        *detail = "no network interface is up and able to send the probe";
        return OnvifStatus::kNoInterface;
    }
    if (sent < 0) {
        *detail = "cannot send the probe";
        return OnvifStatus::kFailed;
    }
    std::sort(cameras->begin(), cameras->end(), [](const FoundCamera& a, const FoundCamera& b) {
        return a.xaddrs.front() != b.xaddrs.front() ? a.xaddrs.front() < b.xaddrs.front() : a.endpoint < b.endpoint;
    });
    if (cameras->empty()) {
        *detail = "no camera answered";
        return OnvifStatus::kNoAnswer;
    }
    return OnvifStatus::kOk;
}

std::string DeviceServiceUrl(const std::string& address) {
    if (address.empty() || address.size() > 1024) return {};
    if (std::any_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }))
        return {};
    if (address.starts_with("http://") || address.starts_with("https://"))
        return address.find("://") + 3 < address.size() ? address : std::string();
    if (address.find_first_of("/?#@") != std::string::npos || address.find("://") != std::string::npos) return {};
    return "http://" + address + "/onvif/device_service";
}

OnvifStatus GetCameraStream(const std::string& deviceUrl, const std::string& user, const std::string& password,
                            int timeoutMs, CameraStream* stream, std::string* detail) {
    const OnvifModule& m = Module();
    if (!m.Call) {
        *detail = m.error;
        return OnvifStatus::kNoModule;
    }
    OnvifServices services;
    Call c = Post(deviceUrl, user, password, GetServicesBody(), timeoutMs);
    if (c.status != 200 || !ParseServices(c.answer, &services)) {
        // Older devices know only GetCapabilities; a refusal of both is the answer.
        const Call caps = Post(deviceUrl, user, password, GetCapabilitiesBody(), timeoutMs);
        if (caps.status != 200 || !ParseCapabilities(caps.answer, &services))
            return Refusal(c.status == 200 ? caps : c, "GetServices", detail);
    }
    const bool media2 = !services.media2.empty();
    if (!media2 && services.media.empty()) {
        *detail = "the camera offers no media service";
        return OnvifStatus::kNoStream;
    }
    const std::string media = OnDevice(deviceUrl, media2 ? services.media2 : services.media);
    std::vector<MediaProfile> profiles;
    c = Post(media, user, password, GetProfilesBody(media2), timeoutMs);
    if (c.status != 200 || !ParseProfiles(c.answer, &profiles)) return Refusal(c, "GetProfiles", detail);
    if (profiles.empty()) {
        *detail = "the camera has no media profile";
        return OnvifStatus::kNoStream;
    }
    const auto chosen = std::find_if(profiles.begin(), profiles.end(), [](const MediaProfile& p) { return p.audio; });
    const MediaProfile& profile = chosen != profiles.end() ? *chosen : profiles.front();
    c = Post(media, user, password, GetStreamUriBody(media2, profile.token), timeoutMs);
    if (c.status != 200 || !ParseStreamUri(c.answer, &stream->uri)) return Refusal(c, "GetStreamUri", detail);
    stream->profile = profile.name.empty() ? profile.token : profile.name;
    stream->audio = profile.audio;
    // Whether it has a speaker is a bonus: a device that will not say is still a camera.
    const bool deviceIo = !services.deviceIo.empty();
    if (deviceIo || !services.media.empty()) {
        c = Post(OnDevice(deviceUrl, deviceIo ? services.deviceIo : services.media), user, password,
                 GetAudioOutputsBody(deviceIo), timeoutMs);
        stream->speakers = c.status == 200 ? ParseAudioOutputs(c.answer) : -1;
    }
    return OnvifStatus::kOk;
}

}  // namespace tesvano
