// A speech server with an OpenAI-style API on 127.0.0.1, run by a thread of
// the test: it records each POST and answers the way the test asks, from
// good audio to the failures a real server shows.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tesvano::test {

class SpeechServer {
public:
    enum class Answer {
        kAudio,     // 200 with the audio and its type, in one piece
        kTrickle,   // 200 with the audio in 8 parts 150 ms apart, no length
        kStatus500, // 500 with a JSON error
        kHtml,      // 200 with an HTML page
        kEndless,   // 200, a WAV header and then silence that never ends
        kSilent,    // reads the request and never answers
        kRaw,       // the audio bytes as they are, without an HTTP head: another protocol's reply
    };
    struct Request {
        std::string head;  // request line and headers
        std::string body;
    };

    explicit SpeechServer(Answer answer, std::string audio = {}, std::string type = "audio/wav");
    ~SpeechServer();
    SpeechServer(const SpeechServer&) = delete;
    SpeechServer& operator=(const SpeechServer&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1/audio/speech"; }
    int port() const { return port_; }  // it answers any path
    std::vector<Request> requests() const;
    // The header's value (name in any case), "" when absent.
    static std::string Header(const Request& r, const std::string& name);

private:
    void Serve();
    void Respond(int fd);

    const Answer answer_;
    const std::string audio_;
    const std::string type_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace tesvano::test
