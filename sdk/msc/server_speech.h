// Speech from a server with an OpenAI-style API: one POST per utterance, the
// answer (WAV, raw 24 kHz PCM or MP3) decoded and resampled as it arrives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sdk/msc/params.h"
#include "sdk/msc/voice_map.h"

namespace msc {

// An answer larger than this is refused.
inline constexpr size_t kMaxAnswerBytes = size_t{64} << 20;

// The request body: {"model","input","voice","response_format"[,"speed"]}.
std::string BuildSpeechRequest(const ServerConfig& server, const std::string& serverVoice, const std::string& utf8Text,
                               int speed);

class AnswerDecoder;

class ServerSpeech {
public:
    ServerSpeech();
    ~ServerSpeech();  // stops a transfer still running
    ServerSpeech(const ServerSpeech&) = delete;
    ServerSpeech& operator=(const ServerSpeech&) = delete;

    // Sends the request on a thread of its own. MSP code.
    int Start(const ServerConfig& server, const std::string& serverVoice, const std::string& utf8Text,
              const SessionParams& params);

    // Replaces *pcm with the audio decoded since the last call, at the
    // session's rate. Waits up to waitMs for the answer to end, and returns
    // at once when it does. MSP code: a failed transfer or an answer that is
    // not audio.
    int Take(std::vector<int16_t>* pcm, int waitMs);
    // The whole answer has been handed over by Take.
    bool finished() const { return finished_; }

private:
    struct Transfer;
    void Run();

    std::unique_ptr<Transfer> transfer_;
    std::unique_ptr<AnswerDecoder> decoder_;
    std::thread worker_;
    bool finished_ = false;
    int failed_ = 0;
};

}  // namespace msc
