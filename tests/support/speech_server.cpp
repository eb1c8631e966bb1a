#include "tests/support/speech_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace tesvano::test {
namespace {

// The whole of it, or false once the client went away or the server stops.
bool SendAll(int fd, const std::string& data, const std::atomic<bool>& stop) {
    size_t sent = 0;
    while (sent < data.size() && !stop) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += size_t(n);
    }
    return sent == data.size();
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

SpeechServer::SpeechServer(Answer answer, std::string audio, std::string type)
    : answer_(answer), audio_(std::move(audio)), type_(std::move(type)) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd_, 8) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("listen");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&SpeechServer::Serve, this);
}

SpeechServer::~SpeechServer() {
    stop_ = true;
    thread_.join();
    close(listenFd_);
}

std::vector<SpeechServer::Request> SpeechServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string SpeechServer::Header(const Request& r, const std::string& name) {
    const std::string head = Lower(r.head);
    const size_t at = head.find("\r\n" + Lower(name) + ":");
    if (at == std::string::npos) return {};
    size_t start = at + 3 + name.size();
    const size_t end = r.head.find("\r\n", start);
    while (start < end && r.head[start] == ' ') ++start;
    return r.head.substr(start, end - start);
}

void SpeechServer::Serve() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Respond(fd);
        close(fd);
    }
}

void SpeechServer::Respond(int fd) {
    // The request: headers, then Content-Length bytes of body.
    Request request;
    std::string data;
    size_t bodyStart = std::string::npos, bodyLength = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
        if (bodyStart != std::string::npos && data.size() >= bodyStart + bodyLength) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        data.append(buffer, size_t(n));
        if (bodyStart == std::string::npos && (bodyStart = data.find("\r\n\r\n")) != std::string::npos) {
            request.head = data.substr(0, bodyStart + 2);
            bodyStart += 4;
            const std::string length = Header(request, "Content-Length");
            bodyLength = length.empty() ? 0 : std::stoul(length);
        }
    }
    if (bodyStart == std::string::npos) return;
    request.body = data.substr(bodyStart, bodyLength);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }

    auto head = [](const std::string& status, const std::string& type, long length) {
        std::string h = "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nConnection: close\r\n";
        if (length >= 0) h += "Content-Length: " + std::to_string(length) + "\r\n";
        return h + "\r\n";
    };
    switch (answer_) {
        case Answer::kAudio:
            SendAll(fd, head("200 OK", type_, long(audio_.size())) + audio_, stop_);
            break;
        case Answer::kTrickle: {
            if (!SendAll(fd, head("200 OK", type_, -1), stop_)) return;
            const size_t part = (audio_.size() + 7) / 8;
            for (size_t at = 0; at < audio_.size() && !stop_; at += part) {
                if (!SendAll(fd, audio_.substr(at, part), stop_)) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            }
            break;
        }
        case Answer::kStatus500: {
            const std::string body = R"({"error":{"message":"the model is not loaded"}})";
            SendAll(fd, head("500 Internal Server Error", "application/json", long(body.size())) + body, stop_);
            break;
        }
        case Answer::kHtml: {
            const std::string body = "<!DOCTYPE html><html><body><h1>Welcome to the router</h1></body></html>\n";
            SendAll(fd, head("200 OK", "text/html; charset=utf-8", long(body.size())) + body, stop_);
            break;
        }
        case Answer::kEndless: {
            // A streamed WAV of unknown length: 24 kHz mono, sizes left open.
            std::string wav("RIFF\xff\xff\xff\xffWAVEfmt \x10\0\0\0\x01\0\x01\0\xc0\x5d\0\0\x80\xbb\0\0\x02\0\x10\0"
                            "data\xff\xff\xff\xff",
                            44);
            if (!SendAll(fd, head("200 OK", "audio/wav", -1) + wav, stop_)) return;
            const std::string silence(1 << 16, '\0');
            for (int i = 0; i < 16384 && !stop_; ++i)  // 1 GiB at most
                if (!SendAll(fd, silence, stop_)) return;
            break;
        }
        case Answer::kRaw:
            SendAll(fd, audio_, stop_);
            break;
        case Answer::kSilent:
            while (!stop_) {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 50) > 0) {
                    char c;
                    if (recv(fd, &c, 1, 0) <= 0) return;  // the client gave up
                }
            }
            break;
    }
}

}  // namespace tesvano::test
