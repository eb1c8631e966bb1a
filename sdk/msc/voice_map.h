// Which voices a speech server speaks instead of espeak-ng: voices.conf.
//
//   [server]
//   url = http://127.0.0.1:8880/v1/audio/speech
//   model = tts-1
//   key_env = TESVANO_TTS_KEY   # variable that holds the bearer token
//   format = wav                # wav, pcm (24 kHz 16-bit mono) or mp3
//   timeout = 10                # seconds for the whole request
//   [voices]
//   henry = alloy               # our voice = the server's voice
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace msc {

enum class ServerFormat { kWav, kPcm, kMp3 };

struct ServerConfig {
    std::string url;
    std::string model = "tts-1";
    std::string keyEnv;  // empty: no Authorization header
    ServerFormat format = ServerFormat::kWav;
    int timeoutSeconds = 10;
};

struct VoiceMap {
    ServerConfig server;
    // Our voice's canonical name (as in the voice table) and the server's.
    std::vector<std::pair<std::string, std::string>> voices;

    // The server's name for one of our voices, or null when it stays built in.
    const std::string* ServerVoice(std::string_view ourName) const;
};

// False with a message naming the line when the text is not a voice map:
// unknown sections or keys, a voice that is not ours, a url that is not
// http(s), a format or timeout out of range, voices without a url.
bool ParseVoiceMap(std::string_view text, VoiceMap* out, std::string* error);

// Where the map lives: $TESVANO_VOICES, else $XDG_CONFIG_HOME/tesvano/voices.conf
// (default ~/.config), else /etc/tesvano/voices.conf. The first of the last
// two that exists counts; "" when neither does.
std::string VoiceMapPath();

// The map at VoiceMapPath(), read anew on each call so an edit counts from
// the next login. No file gives an empty map; a file that cannot be read or
// parsed gives an empty map too, with the reason on standard error (once for
// the same reason). False in that case.
bool LoadVoiceMap(VoiceMap* out);

// The url with its user and password, and secret query values, as "***"
// (tesvano::MaskSecrets), for messages.
std::string MaskUrl(std::string_view url);

}  // namespace msc
