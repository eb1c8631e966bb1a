// ONVIF's messages: the requests from fixed texts, and the answers read
// from untrusted XML. Every reader refuses a DOCTYPE, nesting deeper than a
// real answer and anything above its size cap.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesvano {

// One device that answered a probe; texts percent-decoded, controls kept
// (print them through PrintableText).
struct FoundCamera {
    std::string endpoint;              // wsa:Address, the device's lasting id
    std::vector<std::string> xaddrs;   // its http(s) device-service addresses
    std::string name, hardware, location;
};

struct MediaProfile {
    std::string token, name;
    bool audio = false;  // has an audio source or encoder
};

struct OnvifServices {
    std::string media, media2, deviceIo;  // service addresses, "" when not offered
};

enum class SoapFault { kNone, kNotAuthorized, kOther };

std::string ProbeMessage(const std::string& messageId);

// The body of each request; values are XML-escaped.
std::string GetServicesBody();
std::string GetCapabilitiesBody();
std::string GetProfilesBody(bool media2);
std::string GetStreamUriBody(bool media2, const std::string& profileToken);
std::string GetAudioOutputsBody(bool deviceIo);

// Adds the devices of one ProbeMatches datagram that answers `messageId`
// to *found, merging those already there by endpoint. False for a datagram
// that is not such an answer.
bool ParseProbeMatches(std::string_view xml, const std::string& messageId, std::vector<FoundCamera>* found);
bool ParseServices(std::string_view xml, OnvifServices* services);      // GetServicesResponse
bool ParseCapabilities(std::string_view xml, OnvifServices* services);  // GetCapabilitiesResponse
bool ParseProfiles(std::string_view xml, std::vector<MediaProfile>* profiles);
bool ParseStreamUri(std::string_view xml, std::string* uri);  // rtsp(s):// only
// Number of audio outputs, -1 for an answer that is not a GetAudioOutputsResponse.
int ParseAudioOutputs(std::string_view xml);
SoapFault ParseFault(std::string_view xml);

std::string XmlEscape(std::string_view text);
std::string PercentDecode(std::string_view text);
// user:password@ put into an rtsp URL (percent-encoded), replacing any there.
std::string WithCredentials(const std::string& url, const std::string& user, const std::string& password);
// A URL for printing: whatever lies between "://" and the last '@' hidden.
std::string MaskUrlPassword(const std::string& url);
// A device's text for a terminal: control characters (C0, DEL, C1) as '?'.
std::string PrintableText(std::string_view text);

}  // namespace tesvano
