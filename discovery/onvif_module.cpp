#include "discovery/onvif_module.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#define TESVANO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

std::string XmlEscape(const char* s) {
    std::string out;
    for (; *s; ++s) {
        switch (*s) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += *s;
        }
    }
    return out;
}

std::string Base64(const unsigned char* data, size_t size) {
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// The UsernameToken header: Base64(SHA1(nonce + created + password)), so
// the password itself never travels. Empty when no random nonce can be had.
std::string SecurityHeader(const char* user, const char* password) {
    unsigned char nonce[16];
    if (RAND_bytes(nonce, sizeof nonce) != 1) return {};
    char created[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (!gmtime_r(&now, &utc) || std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) return {};
    std::string joined(reinterpret_cast<const char*>(nonce), sizeof nonce);
    joined += created;
    joined += password;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), digest);
    OPENSSL_cleanse(joined.data(), joined.size());
    return "<wsse:Security s:mustUnderstand=\"1\" "
           "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
           "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
           "<wsse:UsernameToken><wsse:Username>" +
           XmlEscape(user) +
           "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
           Base64(digest, sizeof digest) +
           "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">" +
           Base64(nonce, sizeof nonce) + "</wsse:Nonce><wsu:Created>" + created +
           "</wsu:Created></wsse:UsernameToken></wsse:Security>";
}

struct Answer {
    std::string body;
    bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* a = static_cast<Answer*>(user);
    const size_t n = size * count;
    if (a->body.size() + n > kTesvanoOnvifMaxAnswer) {
        a->tooLarge = true;
        return 0;  // ends the transfer
    }
    a->body.append(data, n);
    return n;
}

struct CurlHandle {
    CURL* c = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlHandle() {
        curl_slist_free_all(headers);
        if (c) curl_easy_cleanup(c);
    }
};

}  // namespace

TESVANO_EXPORT int TesvanoOnvifProbe(const char* probe, size_t size, int timeoutMs, TesvanoOnvifSink sink,
                                     void* user) {
    if (!probe || size == 0 || size > kTesvanoOnvifMaxDatagram || timeoutMs < 0 || !sink)
        return kTesvanoOnvifBadArguments;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kTesvanoOnvifFailed;
    // One hop: the probe is for the local network only.
    const unsigned char ttl = 1, loop = 1;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(3702);
    inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);

    int sent = 0;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        close(fd);
        return kTesvanoOnvifFailed;
    }
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if (!(i->ifa_flags & IFF_UP) || !(i->ifa_flags & IFF_MULTICAST)) continue;
        const in_addr local = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
        if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) != 0) continue;
        if (sendto(fd, probe, size, 0, reinterpret_cast<const sockaddr*>(&group), sizeof group) ==
            static_cast<ssize_t>(size))
            ++sent;
    }
    freeifaddrs(list);
    if (sent == 0) {
        close(fd);
        return kTesvanoOnvifNoInterface;
    }

    std::vector<char> buffer(kTesvanoOnvifMaxDatagram + 1);
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int taken = 0; taken < kTesvanoOnvifMaxDatagrams;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        ++taken;
        // A datagram cut short by the cap is not an answer.
        if (n == 0 || n > kTesvanoOnvifMaxDatagram) continue;
        sink(buffer.data(), static_cast<size_t>(n), user);
    }
    close(fd);
    return sent;
}

TESVANO_EXPORT int TesvanoOnvifCall(const char* url, const char* user, const char* password, const char* body,
                                    int timeoutMs, TesvanoOnvifSink sink, void* sinkUser) {
    if (!url || !user || !password || !body || timeoutMs <= 0 || !sink) return kTesvanoOnvifBadArguments;
    if (std::strncmp(url, "http://", 7) != 0 && std::strncmp(url, "https://", 8) != 0)
        return kTesvanoOnvifBadArguments;
    // A fresh nonce for every request, as devices refuse one seen before.
    auto makeEnvelope = [&] {
        const std::string security = *user ? SecurityHeader(user, password) : std::string();
        if (*user && security.empty()) return std::string();
        return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header>") +
               security + "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
    };
    std::string envelope = makeEnvelope();
    if (envelope.empty()) return kTesvanoOnvifFailed;

    CurlHandle h;
    if (!h.c) return kTesvanoOnvifFailed;
    h.headers = curl_slist_append(nullptr, "Content-Type: application/soap+xml; charset=utf-8");
    if (!h.headers) return kTesvanoOnvifFailed;
    Answer answer;
    bool ok = curl_easy_setopt(h.c, CURLOPT_URL, url) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              // A camera on the local network, never through a proxy.
              curl_easy_setopt(h.c, CURLOPT_NOPROXY, "*") == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_TIMEOUT_MS, long(timeoutMs)) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs)) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_HTTPHEADER, h.headers) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(envelope.size())) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_POSTFIELDS, envelope.c_str()) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_USERAGENT, "Tesvano") == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kTesvanoOnvifMaxAnswer)) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_WRITEFUNCTION, &OnBody) == CURLE_OK &&
              curl_easy_setopt(h.c, CURLOPT_WRITEDATA, &answer) == CURLE_OK;
    if (!ok) return kTesvanoOnvifFailed;
    CURLcode result = curl_easy_perform(h.c);
    long status = 0;
    if (result == CURLE_OK && curl_easy_getinfo(h.c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        return kTesvanoOnvifFailed;
    // HTTP Digest only when the device asks (curl's asking round would send
    // an empty body to a device that does not), and never Basic, which would
    // hand the password over in the clear.
    if (result == CURLE_OK && status == 401 && *user) {
        answer = Answer{};
        envelope = makeEnvelope();
        if (envelope.empty() ||
            curl_easy_setopt(h.c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(envelope.size())) != CURLE_OK ||
            curl_easy_setopt(h.c, CURLOPT_POSTFIELDS, envelope.c_str()) != CURLE_OK ||
            curl_easy_setopt(h.c, CURLOPT_HTTPAUTH, long(CURLAUTH_DIGEST)) != CURLE_OK ||
            curl_easy_setopt(h.c, CURLOPT_USERNAME, user) != CURLE_OK ||
            curl_easy_setopt(h.c, CURLOPT_PASSWORD, password) != CURLE_OK)
            return kTesvanoOnvifFailed;
        result = curl_easy_perform(h.c);
        if (result == CURLE_OK && curl_easy_getinfo(h.c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
            return kTesvanoOnvifFailed;
    }
    if (answer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) return kTesvanoOnvifTooLarge;
    if (result != CURLE_OK) return kTesvanoOnvifNoConnection;
    sink(answer.body.data(), answer.body.size(), sinkUser);
    return static_cast<int>(status);
}
