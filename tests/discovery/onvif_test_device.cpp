// A camera for the discovery tests: answers WS-Discovery probes on
// 239.255.255.250:3702 and the ONVIF device, media, media2 and deviceIO
// calls over HTTP on loopback, checking the WS-Security digest (and HTTP
// Digest in digest mode). Run only inside the test's own network namespace.
//
//   onvif_test_device media|digest|garbage PASSWORD RTSP_URL NAME
//
// media: media service, one speaker. digest: media2 and deviceIO, HTTP
// Digest required, no speaker, its services named at an address elsewhere.
// garbage: broken datagrams beside a good match, and broken SOAP answers.
// The user is admin. Prints the HTTP port once it listens.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string mode, password, rtspUrl, name;
int httpPort = 0;

std::string Between(const std::string& s, const std::string& open, const std::string& close) {
    size_t a = s.find(open);
    if (a == std::string::npos) return {};
    a = s.find('>', a);
    if (a == std::string::npos) return {};
    const size_t b = s.find(close, a + 1);
    return b == std::string::npos ? std::string() : s.substr(a + 1, b - a - 1);
}

std::string Hex(const unsigned char* d, unsigned n) {
    std::string out;
    char two[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", d[i]);
        out += two;
    }
    return out;
}

std::string Md5Hex(const std::string& s) {
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(s.data(), s.size(), d, &n, EVP_md5(), nullptr);
    return Hex(d, n);
}

std::string Base64(const std::string& s) {
    std::string out(4 * ((s.size() + 2) / 3) + 1, '\0');
    out.resize(size_t(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(s.data()), int(s.size()))));
    return out;
}

std::string Unbase64(const std::string& s) {
    std::string out(s.size(), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(s.data()), int(s.size()));
    if (n < 0) return {};
    out.resize(size_t(n));
    // EVP_DecodeBlock keeps the padding's zero bytes.
    for (size_t pad = s.size(); pad > 0 && s[pad - 1] == '='; --pad) out.pop_back();
    return out;
}

bool TokenIsRight(const std::string& request) {
    if (Between(request, "<wsse:Username>", "</wsse:Username>") != "admin") return false;
    const std::string nonce = Unbase64(Between(request, "<wsse:Nonce", "</wsse:Nonce>"));
    const std::string created = Between(request, "<wsu:Created", "</wsu:Created>");
    const std::string joined = nonce + created + password;
    unsigned char d[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), d);
    return !nonce.empty() && Between(request, "<wsse:Password", "</wsse:Password>") ==
                                 Base64(std::string(reinterpret_cast<char*>(d), sizeof d));
}

std::string DigestField(const std::string& header, const std::string& key) {
    size_t a = header.find(" " + key + "=");
    if (a == std::string::npos) a = header.find("," + key + "=");
    if (a == std::string::npos) return {};
    a += key.size() + 2;
    if (header[a] == '"') {
        const size_t b = header.find('"', a + 1);
        return header.substr(a + 1, b - a - 1);
    }
    const size_t b = header.find_first_of(",\r", a);
    return header.substr(a, b - a);
}

bool HttpDigestIsRight(const std::string& head) {
    const size_t at = head.find("\r\nAuthorization: Digest ");
    if (at == std::string::npos) return false;
    const std::string h = head.substr(at + 16, head.find("\r\n", at + 2) - at - 16);
    if (DigestField(h, "username") != "admin" || DigestField(h, "nonce") != "f00dcafe") return false;
    const std::string ha1 = Md5Hex("admin:tesvano-test:" + password);
    const std::string ha2 = Md5Hex("POST:" + DigestField(h, "uri"));
    return DigestField(h, "response") == Md5Hex(ha1 + ":f00dcafe:" + DigestField(h, "nc") + ":" +
                                                 DigestField(h, "cnonce") + ":" + DigestField(h, "qop") + ":" + ha2);
}

const char kEnvelope[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
    "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
    "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
    "xmlns:tr2=\"http://www.onvif.org/ver20/media/wsdl\" xmlns:tmd=\"http://www.onvif.org/ver10/deviceIO/wsdl\" "
    "xmlns:ter=\"http://www.onvif.org/ver10/error\">\n<SOAP-ENV:Body>";

std::string Soap(const std::string& body) { return kEnvelope + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n"; }

std::string NotAuthorized() {
    return Soap("<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value><SOAP-ENV:Subcode>"
                "<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code>"
                "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">Sender not Authorized</SOAP-ENV:Text>"
                "</SOAP-ENV:Reason></SOAP-ENV:Fault>");
}

std::string Services() {
    const std::string here = "http://127.0.0.1:" + std::to_string(httpPort);
    // The digest device names its services at an address the client must not use.
    const std::string there = mode == "digest" ? "http://192.0.2.10" : here;
    auto service = [](const std::string& ns, const std::string& xaddr) {
        return "<tds:Service><tds:Namespace>" + ns + "</tds:Namespace><tds:XAddr>" + xaddr +
               "</tds:XAddr><tds:Version><tt:Major>2</tt:Major><tt:Minor>60</tt:Minor></tds:Version></tds:Service>";
    };
    std::string s = service("http://www.onvif.org/ver10/device/wsdl", here + "/onvif/device_service");
    if (mode == "digest") {
        s += service("http://www.onvif.org/ver20/media/wsdl", there + "/onvif/media2_service");
        s += service("http://www.onvif.org/ver10/deviceIO/wsdl", there + "/onvif/deviceio_service");
    } else {
        s += service("http://www.onvif.org/ver10/media/wsdl", here + "/onvif/media_service");
    }
    return Soap("<tds:GetServicesResponse>" + s + "</tds:GetServicesResponse>");
}

std::string Profiles() {
    if (mode == "digest")
        return Soap(
            "<tr2:GetProfilesResponse><tr2:Profiles token=\"video_only\" fixed=\"true\"><tr2:Name>Main</tr2:Name>"
            "<tr2:Configurations><tr2:VideoSource token=\"vs\"><tt:Name>vs</tt:Name></tr2:VideoSource>"
            "</tr2:Configurations></tr2:Profiles><tr2:Profiles token=\"with_audio\" fixed=\"true\">"
            "<tr2:Name>Sub &amp; sound</tr2:Name><tr2:Configurations><tr2:VideoSource token=\"vs\"/>"
            "<tr2:AudioSource token=\"as\"><tt:Name>mic</tt:Name></tr2:AudioSource>"
            "<tr2:AudioEncoder token=\"ae\"><tt:Encoding>PCMU</tt:Encoding></tr2:AudioEncoder>"
            "</tr2:Configurations></tr2:Profiles></tr2:GetProfilesResponse>");
    return Soap("<trt:GetProfilesResponse><trt:Profiles fixed=\"true\" token=\"video_only\"><tt:Name>MainStream"
                "</tt:Name><tt:VideoSourceConfiguration token=\"vsc\"><tt:Name>vsc</tt:Name>"
                "</tt:VideoSourceConfiguration></trt:Profiles><trt:Profiles fixed=\"true\" token=\"with_audio\">"
                "<tt:Name>SubStream</tt:Name><tt:VideoSourceConfiguration token=\"vsc\"/>"
                "<tt:AudioSourceConfiguration token=\"asc\"><tt:SourceToken>mic</tt:SourceToken>"
                "</tt:AudioSourceConfiguration><tt:AudioEncoderConfiguration token=\"aec\"><tt:Encoding>G711"
                "</tt:Encoding></tt:AudioEncoderConfiguration></trt:Profiles></trt:GetProfilesResponse>");
}

std::string StreamUri(const std::string& request) {
    // Only the profile with audio leads to the stream.
    const std::string uri = Between(request, "<ProfileToken", "</ProfileToken>") == "with_audio"
                                ? rtspUrl
                                : "rtsp://127.0.0.1:1/video-only";
    if (mode == "digest")
        return Soap("<tr2:GetStreamUriResponse><tr2:Uri>" + uri + "</tr2:Uri></tr2:GetStreamUriResponse>");
    return Soap("<trt:GetStreamUriResponse><trt:MediaUri><tt:Uri>" + uri +
                "</tt:Uri><tt:InvalidAfterConnect>false</tt:InvalidAfterConnect><tt:InvalidAfterReboot>false"
                "</tt:InvalidAfterReboot><tt:Timeout>PT0S</tt:Timeout></trt:MediaUri></trt:GetStreamUriResponse>");
}

std::string AudioOutputs() {
    if (mode == "digest") return Soap("<tmd:GetAudioOutputsResponse/>");
    return Soap("<trt:GetAudioOutputsResponse><trt:AudioOutputs token=\"speaker\"/></trt:GetAudioOutputsResponse>");
}

// Answers that must be refused without harm, by request count.
std::string Garbage(int n) {
    switch (n % 3) {
    case 0: {
        std::string deep = kEnvelope;
        for (int i = 0; i < 100000; ++i) deep += "<a>";
        return deep;
    }
    case 1:
        return "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;\">]>"
               "<e>&y;</e>";
    default:
        return std::string("\x00\xff\x01<SOAP-ENV:Envelope", 21);
    }
}

void Send(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0) return;
        done += size_t(n);
    }
}

void ServeHttp(int listener) {
    static int served = 0;
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string request;
    char buf[4096];
    size_t headEnd = std::string::npos, length = 0;
    while (request.size() < (1 << 20)) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        request.append(buf, size_t(n));
        if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
            const size_t cl = request.find("Content-Length: ");
            if (cl != std::string::npos && cl < headEnd) length = std::strtoul(request.c_str() + cl + 16, nullptr, 10);
        }
        if (headEnd != std::string::npos && request.size() >= headEnd + 4 + length) break;
    }
    const std::string head = request.substr(0, headEnd == std::string::npos ? 0 : headEnd + 2);
    int status = 200;
    std::string answer;
    std::string extra;
    if (head.find("Authorization: Basic") != std::string::npos) {
        status = 403;  // a password in the clear is a failure of the client
    } else if (mode == "digest" && !HttpDigestIsRight(head)) {
        status = 401;
        extra = "WWW-Authenticate: Digest realm=\"tesvano-test\", qop=\"auth\", nonce=\"f00dcafe\", algorithm=MD5\r\n";
    } else if (mode == "garbage") {
        answer = Garbage(served);
    } else if (!TokenIsRight(request)) {
        status = 400;
        answer = NotAuthorized();
    } else if (request.find("<GetServices") != std::string::npos) {
        answer = Services();
    } else if (request.find("<GetProfiles") != std::string::npos) {
        answer = Profiles();
    } else if (request.find("<GetStreamUri") != std::string::npos) {
        answer = StreamUri(request);
    } else if (request.find("<GetAudioOutputs") != std::string::npos) {
        answer = AudioOutputs();
    } else {
        status = 500;
    }
    ++served;
    Send(fd, "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: application/soap+xml; charset=utf-8\r\n" +
                 extra + "Content-Length: " + std::to_string(answer.size()) + "\r\nConnection: close\r\n\r\n" + answer);
    close(fd);
}

void AnswerProbe(int udp) {
    char buf[65536];
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = recvfrom(udp, buf, sizeof buf - 1, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0) return;
    const std::string probe(buf, size_t(n));
    if (probe.find("NetworkVideoTransmitter") == std::string::npos) return;
    const std::string id = Between(probe, "MessageID", "</");
    auto reply = [&](const std::string& s) {
        sendto(udp, s.data(), s.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
    };
    if (mode == "garbage") {
        reply(std::string("\x01\x02garbage\xff", 11));
        reply("<?xml version=\"1.0\"?><!DOCTYPE x SYSTEM \"file:///etc/passwd\"><x/>");
        reply("<s:Envelope><s:Body><d:ProbeMatches><d:ProbeMatch><d:XAddrs>file:///etc/passwd</d:XAddrs>"
              "</d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>");
    }
    const std::string match =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
        "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
        "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
        "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
        "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header>"
        "<wsa:MessageID>urn:uuid:0d8ce7b2-0000-4000-8000-" +
        std::to_string(100000000000 + httpPort) + "</wsa:MessageID><wsa:RelatesTo>" + id +
        "</wsa:RelatesTo><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
        "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action></SOAP-ENV:Header>"
        "<SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference><wsa:Address>"
        "urn:uuid:7e57ca3e-0000-4000-8000-" + std::to_string(100000000000 + httpPort) +
        "</wsa:Address></wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>"
        "<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/type/audio_encoder "
        "onvif://www.onvif.org/hardware/TV-" + mode + " onvif://www.onvif.org/name/" + name +
        " onvif://www.onvif.org/location/city/Lab</d:Scopes><d:XAddrs>http://127.0.0.1:" +
        std::to_string(httpPort) + "/onvif/device_service</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion>"
        "</d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    // Twice, as devices do over UDP; the client keeps one.
    reply(match);
    reply(match);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s media|digest|garbage PASSWORD RTSP_URL NAME\n", argv[0]);
        return 2;
    }
    mode = argv[1];
    password = argv[2];
    rtspUrl = argv[3];
    name = argv[4];

    const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(udp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(3702);
    ip_mreq join{};
    inet_pton(AF_INET, "239.255.255.250", &join.imr_multiaddr);
    join.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(udp, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        setsockopt(udp, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
        std::perror("udp 3702");
        return 1;
    }
    const int tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof local;
    if (bind(tcp, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(tcp, 16) != 0 ||
        getsockname(tcp, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        std::perror("tcp");
        return 1;
    }
    httpPort = ntohs(local.sin_port);
    std::printf("%d\n", httpPort);
    std::fflush(stdout);
    for (;;) {
        pollfd p[2] = {{udp, POLLIN, 0}, {tcp, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) continue;
        if (p[0].revents & POLLIN) AnswerProbe(udp);
        if (p[1].revents & POLLIN) ServeHttp(tcp);
    }
}

