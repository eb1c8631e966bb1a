// Finding ONVIF cameras on the local network and asking one for its stream
// address. The network calls live in libtesvano-onvif.so, opened beside the
// program on first use.
#pragma once

#include <string>
#include <vector>

#include "discovery/onvif_xml.h"

namespace tesvano {

enum class OnvifStatus {
    kOk,
    kNoModule,      // libtesvano-onvif.so cannot be loaded
    kNoInterface,   // nothing to send the probe on
    kNoAnswer,      // no camera answered / the device did not answer in time
    kUnauthorised,  // user or password refused
    kBadAnswer,     // an answer that is not what was asked for
    kNoStream,      // no profile, or no RTSP address
    kFailed,
};

// Whether libtesvano-onvif.so loads; *detail says why not.
bool OnvifModuleAvailable(std::string* detail);

// Sends one probe and collects the cameras that answer within timeoutMs,
// sorted by address so that an index names the same camera next time.
OnvifStatus FindCameras(int timeoutMs, std::vector<FoundCamera>* cameras, std::string* detail);

struct CameraStream {
    std::string uri;      // rtsp(s)://, without credentials
    std::string profile;  // the profile's name, or its token
    bool audio = false;   // the profile has an audio source or encoder
    int speakers = -1;    // audio outputs; -1 when the device would not say
};

// GetServices (or GetCapabilities) -> media2 or media -> GetProfiles ->
// GetStreamUri for the first profile with audio, else the first; then
// GetAudioOutputs. Each call waits at most timeoutMs.
OnvifStatus GetCameraStream(const std::string& deviceUrl, const std::string& user, const std::string& password,
                            int timeoutMs, CameraStream* stream, std::string* detail);

// An address as typed: an http(s) URL as it is, else host[:port] of the
// usual device service. "" for one that cannot be an address.
std::string DeviceServiceUrl(const std::string& address);

}  // namespace tesvano
