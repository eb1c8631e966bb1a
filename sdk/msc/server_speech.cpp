#include "sdk/msc/server_speech.h"

#include "sdk/msc/report.h"

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <mutex>

#include "sdk/msc/answer_decoder.h"
#include "sdk/msc/params.h"
#include "sdk/msc/msc.h"
#include "sdk/printable.h"

namespace msc {
namespace {

void AppendJsonString(std::string* out, std::string_view text) {
    out->push_back('"');
    for (unsigned char c : text) {
        switch (c) {
            case '"': *out += "\\\""; break;
            case '\\': *out += "\\\\"; break;
            case '\n': *out += "\\n"; break;
            case '\r': *out += "\\r"; break;
            case '\t': *out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    *out += escaped;
                } else {
                    out->push_back(char(c));
                }
        }
    }
    out->push_back('"');
}

const char* FormatName(ServerFormat format) {
    switch (format) {
        case ServerFormat::kWav: return "wav";
        case ServerFormat::kPcm: return "pcm";
        case ServerFormat::kMp3: return "mp3";
    }
    return "wav";
}

// Error pages and JSON errors sent with status 200 are not audio.
bool IsTextType(std::string_view type) {
    const std::string lower = Lower(type.substr(0, 64));
    return lower.rfind("text/", 0) == 0 || lower.find("json") != std::string::npos ||
           lower.find("xml") != std::string::npos || lower.find("html") != std::string::npos;
}

// 127.0.0.0/8, ::1 and localhost (which curl never asks a resolver about).
bool IsLoopbackHost(std::string host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (Lower(host) == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

// Whether the URL is plain http, and whether its host is this machine. False
// when curl cannot read it.
bool ReadUrl(const std::string& url, bool* plainHttp, bool* loopback) {
    *plainHttp = *loopback = false;
    CURLU* parsed = curl_url();
    if (!parsed) return false;
    char* scheme = nullptr;
    char* host = nullptr;
    const bool read = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
                      curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
                      curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK;
    if (read) {
        *plainHttp = Lower(scheme) == "http";
        *loopback = IsLoopbackHost(host);
    }
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(parsed);
    return read;
}

std::once_flag g_curlInit;
CURLcode g_curlInitResult = CURLE_OK;

}  // namespace

std::string BuildSpeechRequest(const ServerConfig& server, const std::string& serverVoice, const std::string& utf8Text,
                               int speed) {
    std::string body = "{\"model\":";
    AppendJsonString(&body, server.model);
    body += ",\"input\":";
    AppendJsonString(&body, utf8Text);
    body += ",\"voice\":";
    AppendJsonString(&body, serverVoice);
    body += ",\"response_format\":";
    AppendJsonString(&body, FormatName(server.format));
    if (speed != 50) {
        // The same curve as the built-in voices: 0 is half the pace, 100 double.
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.3f", std::exp2((speed - 50) / 50.0));
        body += ",\"speed\":";
        body += factor;
    }
    body += "}";
    return body;
}

struct ServerSpeech::Transfer {
    CURL* curl = nullptr;
    curl_slist* headers = nullptr;
    std::string body;
    std::string shownUrl;
    std::string key;  // kept out of every message
    int timeoutSeconds = 10;
    char curlError[CURL_ERROR_SIZE] = {};
    std::atomic<bool> cancel{false};
    bool headChecked = false;  // worker only
    uint64_t received = 0;     // worker only

    std::mutex mutex;
    std::condition_variable arrivedOrDone;
    std::string arrived;
    bool done = false;
    int outcome = MSP_SUCCESS;
    std::string why;

    ~Transfer() {
        if (curl) curl_easy_cleanup(curl);
        curl_slist_free_all(headers);
    }

    void Fail(int code, std::string reason) {
        std::lock_guard lock(mutex);
        if (outcome != MSP_SUCCESS) return;
        outcome = code;
        why = std::move(reason);
    }

    // What a server said, without the key should it echo it: masked before
    // the cut, so no part of it stays at the end. Printed through Printable.
    std::string Snippet(const char* data, size_t size) const {
        std::string text(data, std::min<size_t>(size, 200 + key.size()));
        if (!key.empty())
            for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), "***");
        return text.substr(0, 200);
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user) {
        auto* t = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (t->cancel) return 0;
        if (!t->headChecked) {
            t->headChecked = true;
            long status = 0;
            curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
            if (status != 200) {
                t->Fail(MSP_ERROR_SERVER_STATUS, "HTTP status " + std::to_string(status) + ": " + t->Snippet(data, bytes));
                return 0;
            }
            char* type = nullptr;
            if (curl_easy_getinfo(t->curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type && IsTextType(type)) {
                t->Fail(MSP_ERROR_SERVER_NOT_AUDIO,
                        "answered " + std::string(type).substr(0, 64) + ", not audio: " + t->Snippet(data, bytes));
                return 0;
            }
        }
        if (t->received + bytes > kMaxAnswerBytes) {
            t->Fail(MSP_ERROR_SERVER_TOO_LARGE, "the answer is larger than 64 MiB");
            return 0;
        }
        t->received += bytes;
        std::lock_guard lock(t->mutex);
        t->arrived.append(data, bytes);
        t->arrivedOrDone.notify_all();
        return bytes;
    }

    static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Transfer*>(user)->cancel ? 1 : 0;
    }
};

ServerSpeech::ServerSpeech() = default;

ServerSpeech::~ServerSpeech() {
    if (transfer_) transfer_->cancel = true;
    if (worker_.joinable()) worker_.join();
}

int ServerSpeech::Start(const ServerConfig& server, const std::string& serverVoice, const std::string& utf8Text,
                        const SessionParams& params) {
    std::call_once(g_curlInit, [] { g_curlInitResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (g_curlInitResult != CURLE_OK) return MSP_ERROR_ENGINE;

    auto t = std::make_unique<Transfer>();
    t->shownUrl = MaskUrl(server.url);
    t->timeoutSeconds = server.timeoutSeconds;
    if (!server.keyEnv.empty()) {
        const char* key = std::getenv(server.keyEnv.c_str());
        if (key && *key) {
            if (HasControlCharacters(key)) {
                Report(sdk::Printable(server.keyEnv) + " holds characters an HTTP header cannot carry");
                return MSP_ERROR_INVALID_PARA;
            }
            t->key = key;
        }
    }
    bool plainHttp = false, loopback = false;
    const bool urlRead = ReadUrl(server.url, &plainHttp, &loopback);
    // Anyone on the way would read the key: over plain http it goes to this
    // machine only, and never through a proxy. Refused like a TLS failure,
    // before any connection.
    if (!t->key.empty() && (!urlRead || (plainHttp && !loopback))) {
        Report("speech server " + sdk::Printable(t->shownUrl) +
               ": the key is not sent over plain http to another machine; use https");
        return MSP_ERROR_SERVER_UNREACHABLE;
    }
    t->body = BuildSpeechRequest(server, serverVoice, utf8Text, params.speed);

    t->curl = curl_easy_init();
    if (!t->curl) return MSP_ERROR_ENGINE;
    for (const char* header : {"Content-Type: application/json", "Expect:"}) {
        curl_slist* grown = curl_slist_append(t->headers, header);
        if (!grown) return MSP_ERROR_NO_MEMORY;
        t->headers = grown;
    }
    if (!t->key.empty()) {
        curl_slist* grown = curl_slist_append(t->headers, ("Authorization: Bearer " + t->key).c_str());
        if (!grown) return MSP_ERROR_NO_MEMORY;
        t->headers = grown;
    }
    CURL* c = t->curl;
    const long timeoutMs = long(server.timeoutSeconds) * 1000;
    bool ok = curl_easy_setopt(c, CURLOPT_URL, server.url.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_HTTPHEADER, t->headers) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(t->body.size())) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_POSTFIELDS, t->body.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_USERAGENT, "Tesvano-libmsc") == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxAnswerBytes)) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t->curlError) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnBody) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_WRITEDATA, t.get()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_XFERINFODATA, t.get()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    if (ok && !t->key.empty() && plainHttp) ok = curl_easy_setopt(c, CURLOPT_NOPROXY, "*") == CURLE_OK;
    if (!ok) return MSP_ERROR_ENGINE;

    const float gain = std::min(1.0f, float(params.volume) / 50.0f);
    decoder_ = std::make_unique<AnswerDecoder>(server.format, params.sampleRate, gain);
    transfer_ = std::move(t);
    worker_ = std::thread(&ServerSpeech::Run, this);
    return MSP_SUCCESS;
}

void ServerSpeech::Run() {
    Transfer& t = *transfer_;
    const CURLcode rc = curl_easy_perform(t.curl);
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    const std::string detail = t.curlError[0] ? t.curlError : curl_easy_strerror(rc);
    switch (rc) {
        case CURLE_OK:
            if (status != 200) t.Fail(MSP_ERROR_SERVER_STATUS, "HTTP status " + std::to_string(status));
            break;
        case CURLE_OPERATION_TIMEDOUT:
            t.Fail(MSP_ERROR_SERVER_TIMEOUT, "no complete answer within " + std::to_string(t.timeoutSeconds) + " s");
            break;
        case CURLE_FILESIZE_EXCEEDED: t.Fail(MSP_ERROR_SERVER_TOO_LARGE, "the answer is larger than 64 MiB"); break;
        case CURLE_OUT_OF_MEMORY: t.Fail(MSP_ERROR_NO_MEMORY, detail); break;
        default: t.Fail(MSP_ERROR_SERVER_UNREACHABLE, detail); break;  // also after OnBody failed it first
    }
    std::lock_guard lock(t.mutex);
    t.done = true;
    t.arrivedOrDone.notify_all();
}

int ServerSpeech::Take(std::vector<int16_t>* pcm, int waitMs) {
    pcm->clear();
    if (failed_ || finished_ || !transfer_) return failed_;
    Transfer& t = *transfer_;
    std::string bytes;
    bool done;
    int outcome;
    std::string why;
    {
        std::unique_lock lock(t.mutex);
        t.arrivedOrDone.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return t.done; });
        bytes.swap(t.arrived);
        done = t.done;
        outcome = t.outcome;
        why = t.why;
    }
    auto fail = [&](int code, const std::string& reason) {
        failed_ = code;
        t.cancel = true;
        pcm->clear();
        Report("speech server " + sdk::Printable(t.shownUrl) + ": " + sdk::Printable(reason));
        return code;
    };
    if (done && outcome != MSP_SUCCESS) return fail(outcome, why);
    int result = decoder_->Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pcm);
    if (result == MSP_SUCCESS && done) result = decoder_->Finish(pcm);
    if (result == MSP_ERROR_SERVER_TOO_LARGE) return fail(result, "the answer is refused: " + decoder_->problem());
    if (result != MSP_SUCCESS)
        return fail(result, std::string("the answer is not ") + FormatName(decoder_->format()) + " audio (" +
                                (decoder_->problem().empty() ? "undecodable" : decoder_->problem()) + ")");
    finished_ = done;
    return MSP_SUCCESS;
}

}  // namespace msc
