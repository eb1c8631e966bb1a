// A mapped voice's utterance, spoken by libmsc-server.so: the module that
// holds libcurl and the answer decoding is opened beside libmsc.so on the
// first server voice, so the offline voices never load it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/msc/params.h"
#include "sdk/msc/voice_map.h"

struct MscServerSpeech;

namespace msc {

class ServerClient {
public:
    ServerClient() = default;
    ~ServerClient();  // stops a transfer still running
    ServerClient(const ServerClient&) = delete;
    ServerClient& operator=(const ServerClient&) = delete;

    // Sends the request. MSP code; MSP_ERROR_SERVER_UNREACHABLE, with the
    // reason on standard error, when the module cannot be loaded.
    int Start(const ServerConfig& server, const std::string& serverVoice, const std::string& utf8Text,
              const SessionParams& params);
    // Replaces *pcm with the audio decoded since the last call, waiting up to
    // waitMs for the answer to end. MSP code.
    int Take(std::vector<int16_t>* pcm, int waitMs);
    // The whole answer has been handed over by Take.
    bool finished() const;

private:
    MscServerSpeech* speech_ = nullptr;
};

}  // namespace msc
