// Where the camera's audio comes from: the configured source, what kind of
// thing it is, and its text with passwords hidden for messages.
#pragma once

#include <string>
#include <string_view>

namespace camera {

enum class SourceKind {
    kNetwork,  // a stream that can break and be reopened
    kDevice,   // a local capture device (alsa, pulse)
    kFile,     // read as fast as it decodes; its end ends the capture
};

struct Source {
    SourceKind kind = SourceKind::kFile;
    std::string url;          // as configured
    std::string openName;     // what FFmpeg opens
    std::string deviceFormat; // "alsa", "pulse"; empty unless kDevice
    bool rtsp = false;
    bool http = false;
};

Source ClassifySource(const std::string& url);

// tesvano::MaskSecrets: from each "://" to the last "@" after it, and every
// password=/pwd=/key=/token=... query value, becomes ***, wherever it stands.
std::string MaskPasswords(std::string_view text);

// The places a source is looked for, so tests can point them elsewhere.
struct ConfigPlaces {
    std::string envUrl;        // TESVANO_CAMERA_URL, empty when unset
    std::string userFile;      // $XDG_CONFIG_HOME/tesvano/camera.conf, empty when there is no home either
    std::string systemFile;    // /etc/tesvano/camera.conf
};
ConfigPlaces ProcessConfigPlaces();

enum class ConfigResult { kFound, kNone, kUnreadable };
// The first place that names a source wins. A file that exists but cannot be
// read is an error (*error says which and why), not an empty file.
ConfigResult FindSource(const ConfigPlaces& places, std::string* source, std::string* error);

}  // namespace camera
