#include "discovery/onvif_xml.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "i18n/xml_file.h"

namespace tesvano {
namespace {

constexpr size_t kMaxDatagram = 65536;
constexpr size_t kMaxAnswer = 1048576;
constexpr int kMaxDepth = 48;       // real answers nest about 12 deep
constexpr size_t kMaxText = 2048;   // an address, a name, a token
constexpr size_t kMaxXAddrs = 8;
constexpr size_t kMaxProfiles = 64;
constexpr size_t kMaxCameras = 256;

bool WellFormedReference(std::string_view at) {
    for (const char* named : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
        if (at.starts_with(named)) return true;
    size_t i = 2;
    const bool hex = at.starts_with("&#x");
    if (!hex && !at.starts_with("&#")) return false;
    if (hex) i = 3;
    const size_t first = i;
    while (i < at.size() && i < first + 8 && (hex ? std::isxdigit(static_cast<unsigned char>(at[i]))
                                                  : std::isdigit(static_cast<unsigned char>(at[i]))))
        ++i;
    return i > first && i < at.size() && at[i] == ';';
}

// TinyXML's parser recurses per level and reads a DOCTYPE as text: both are
// checked before it sees the answer. Quotes are followed, so a '>' or '/>'
// inside an attribute does not hide a level.
bool SafeToParse(std::string_view xml, size_t cap) {
    if (xml.empty() || xml.size() > cap || xml.find('\0') != std::string_view::npos) return false;
    int depth = 0;
    for (size_t i = 0; i < xml.size(); ++i) {
        if (xml[i] == '&') {
            // TinyXML reads past the end on a malformed reference: only
            // whole, well-formed ones go through.
            if (!WellFormedReference(xml.substr(i))) return false;
            continue;
        }
        if (xml[i] != '<') continue;
        const std::string_view rest = xml.substr(i);
        if (rest.starts_with("<!--")) {
            const size_t end = xml.find("-->", i + 4);
            if (end == std::string_view::npos) return false;
            i = end + 2;
        } else if (rest.starts_with("<![CDATA[")) {
            const size_t end = xml.find("]]>", i + 9);
            if (end == std::string_view::npos) return false;
            i = end + 2;
        } else if (rest.starts_with("<!")) {
            return false;  // DOCTYPE, ENTITY and the like
        } else if (rest.starts_with("<?")) {
            const size_t end = xml.find("?>", i + 2);
            if (end == std::string_view::npos) return false;
            i = end + 1;
        } else if (rest.starts_with("</")) {
            --depth;
        } else {
            char quote = 0;
            size_t j = i + 1;
            for (; j < xml.size(); ++j) {
                if (quote) {
                    if (xml[j] == quote) quote = 0;
                } else if (xml[j] == '"' || xml[j] == '\'') {
                    quote = xml[j];
                } else if (xml[j] == '>') {
                    break;
                }
            }
            if (j >= xml.size()) return false;
            if (xml[j - 1] != '/' && ++depth > kMaxDepth) return false;
            i = j;
        }
    }
    return true;
}

const char* LocalName(const TiXmlElement* e) {
    const char* name = e->Value();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool Is(const TiXmlElement* e, const char* local) { return std::strcmp(LocalName(e), local) == 0; }

const TiXmlElement* Child(const TiXmlElement* parent, const char* local) {
    if (!parent) return nullptr;
    for (const TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement())
        if (Is(e, local)) return e;
    return nullptr;
}

// Depth-first, bounded by SafeToParse's depth check.
const TiXmlElement* Find(const TiXmlElement* from, const char* local) {
    if (!from) return nullptr;
    if (Is(from, local)) return from;
    for (const TiXmlElement* e = from->FirstChildElement(); e; e = e->NextSiblingElement())
        if (const TiXmlElement* found = Find(e, local)) return found;
    return nullptr;
}

std::string Text(const TiXmlElement* e) {
    const char* t = e ? e->GetText() : nullptr;
    if (!t) return {};
    std::string s(t);
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    s = s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
    return s.size() > kMaxText ? std::string() : s;
}

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        const size_t a = s.find_first_not_of(" \t\r\n", i);
        if (a == std::string::npos) break;
        size_t b = s.find_first_of(" \t\r\n", a);
        if (b == std::string::npos) b = s.size();
        words.push_back(s.substr(a, b - a));
        i = b;
    }
    return words;
}

bool IsHttpUrl(const std::string& s) {
    if (!s.starts_with("http://") && !s.starts_with("https://")) return false;
    const size_t host = s.find("://") + 3;
    if (host >= s.size() || s[host] == '/') return false;
    return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; });
}

// The SOAP body of an answer that passed the checks; nullptr otherwise.
const TiXmlElement* Body(TiXmlDocument* doc, std::string_view xml, size_t cap) {
    if (!SafeToParse(xml, cap)) return nullptr;
    if (!ParseXmlText(std::string(xml), TIXML_ENCODING_UTF8, doc)) return nullptr;
    const TiXmlElement* root = doc->RootElement();
    if (!root || !Is(root, "Envelope")) return nullptr;
    return Child(root, "Body");
}

}  // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string PercentDecode(std::string_view text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string MaskUrlPassword(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t at = url.rfind('@');
    if (scheme == std::string::npos || at == std::string::npos || at < scheme + 3) return url;
    return url.substr(0, scheme + 3) + "***" + url.substr(at);
}

std::string PrintableText(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            out += '?';
        } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            out += '?';  // C1 controls, U+0080-U+009F
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string WithCredentials(const std::string& url, const std::string& user, const std::string& password) {
    auto encode = [](const std::string& s) {
        static const char digits[] = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : s) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += digits[c >> 4];
                out += digits[c & 15];
            }
        }
        return out;
    };
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const size_t host = scheme + 3;
    size_t end = url.find_first_of("/?#", host);
    if (end == std::string::npos) end = url.size();
    const size_t at = url.rfind('@', end - 1);
    const size_t after = at != std::string::npos && at >= host ? at + 1 : host;
    return url.substr(0, host) + encode(user) + ":" + encode(password) + "@" + url.substr(after);
}

std::string ProbeMessage(const std::string& messageId) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header>"
           "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
           "<a:MessageID>" +
           XmlEscape(messageId) +
           "</a:MessageID><a:ReplyTo><a:Address>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
           "</a:Address></a:ReplyTo><a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
           "</s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body>"
           "</s:Envelope>";
}

std::string GetServicesBody() {
    return "<GetServices xmlns=\"http://www.onvif.org/ver10/device/wsdl\">"
           "<IncludeCapability>false</IncludeCapability></GetServices>";
}

std::string GetCapabilitiesBody() {
    return "<GetCapabilities xmlns=\"http://www.onvif.org/ver10/device/wsdl\"><Category>All</Category>"
           "</GetCapabilities>";
}

std::string GetProfilesBody(bool media2) {
    return media2 ? "<GetProfiles xmlns=\"http://www.onvif.org/ver20/media/wsdl\"><Type>All</Type></GetProfiles>"
                  : "<GetProfiles xmlns=\"http://www.onvif.org/ver10/media/wsdl\"/>";
}

std::string GetStreamUriBody(bool media2, const std::string& profileToken) {
    if (media2)
        return "<GetStreamUri xmlns=\"http://www.onvif.org/ver20/media/wsdl\"><Protocol>RTSP</Protocol>"
               "<ProfileToken>" +
               XmlEscape(profileToken) + "</ProfileToken></GetStreamUri>";
    return "<GetStreamUri xmlns=\"http://www.onvif.org/ver10/media/wsdl\"><StreamSetup>"
           "<Stream xmlns=\"http://www.onvif.org/ver10/schema\">RTP-Unicast</Stream>"
           "<Transport xmlns=\"http://www.onvif.org/ver10/schema\"><Protocol>RTSP</Protocol></Transport>"
           "</StreamSetup><ProfileToken>" +
           XmlEscape(profileToken) + "</ProfileToken></GetStreamUri>";
}

std::string GetAudioOutputsBody(bool deviceIo) {
    return deviceIo ? "<GetAudioOutputs xmlns=\"http://www.onvif.org/ver10/deviceIO/wsdl\"/>"
                    : "<GetAudioOutputs xmlns=\"http://www.onvif.org/ver10/media/wsdl\"/>";
}

bool ParseProbeMatches(std::string_view xml, const std::string& messageId, std::vector<FoundCamera>* found) {
    TiXmlDocument doc;
    const TiXmlElement* body = Body(&doc, xml, kMaxDatagram);
    if (!body) return false;
    // An answer to someone else's probe (or an old one of ours) is not ours.
    const TiXmlElement* header = Child(doc.RootElement(), "Header");
    const std::string relatesTo = Text(Child(header, "RelatesTo"));
    if (!relatesTo.empty() && relatesTo != messageId) return false;
    const TiXmlElement* matches = Child(body, "ProbeMatches");
    if (!matches) return false;
    for (const TiXmlElement* m = matches->FirstChildElement(); m; m = m->NextSiblingElement()) {
        if (!Is(m, "ProbeMatch")) continue;
        FoundCamera camera;
        camera.endpoint = Text(Child(Child(m, "EndpointReference"), "Address"));
        for (const std::string& x : Words(Text(Child(m, "XAddrs"))))
            if (IsHttpUrl(x) && camera.xaddrs.size() < kMaxXAddrs) camera.xaddrs.push_back(x);
        if (camera.xaddrs.empty()) continue;
        if (camera.endpoint.empty()) camera.endpoint = camera.xaddrs.front();
        for (const std::string& scope : Words(Text(Child(m, "Scopes")))) {
            static const struct {
                const char* prefix;
                std::string FoundCamera::*field;
            } kScopes[] = {{"onvif://www.onvif.org/name/", &FoundCamera::name},
                           {"onvif://www.onvif.org/hardware/", &FoundCamera::hardware},
                           {"onvif://www.onvif.org/location/", &FoundCamera::location}};
            for (const auto& s : kScopes)
                if (scope.starts_with(s.prefix) && (camera.*s.field).empty())
                    camera.*s.field = PercentDecode(scope.substr(std::strlen(s.prefix)));
        }
        auto same = std::find_if(found->begin(), found->end(),
                                 [&](const FoundCamera& c) { return c.endpoint == camera.endpoint; });
        if (same != found->end()) continue;
        if (found->size() < kMaxCameras) found->push_back(std::move(camera));
    }
    return true;
}

bool ParseServices(std::string_view xml, OnvifServices* services) {
    TiXmlDocument doc;
    const TiXmlElement* answer = Child(Body(&doc, xml, kMaxAnswer), "GetServicesResponse");
    if (!answer) return false;
    for (const TiXmlElement* s = answer->FirstChildElement(); s; s = s->NextSiblingElement()) {
        if (!Is(s, "Service")) continue;
        const std::string ns = Text(Child(s, "Namespace"));
        const std::string address = Text(Child(s, "XAddr"));
        if (!IsHttpUrl(address)) continue;
        if (ns == "http://www.onvif.org/ver10/media/wsdl") services->media = address;
        else if (ns == "http://www.onvif.org/ver20/media/wsdl") services->media2 = address;
        else if (ns == "http://www.onvif.org/ver10/deviceIO/wsdl") services->deviceIo = address;
    }
    return true;
}

bool ParseCapabilities(std::string_view xml, OnvifServices* services) {
    TiXmlDocument doc;
    const TiXmlElement* answer = Child(Body(&doc, xml, kMaxAnswer), "GetCapabilitiesResponse");
    const TiXmlElement* caps = Child(answer, "Capabilities");
    if (!caps) return false;
    const std::string media = Text(Child(Child(caps, "Media"), "XAddr"));
    if (IsHttpUrl(media)) services->media = media;
    const std::string io = Text(Child(Child(Child(caps, "Extension"), "DeviceIO"), "XAddr"));
    if (IsHttpUrl(io)) services->deviceIo = io;
    return true;
}

bool ParseProfiles(std::string_view xml, std::vector<MediaProfile>* profiles) {
    TiXmlDocument doc;
    const TiXmlElement* answer = Child(Body(&doc, xml, kMaxAnswer), "GetProfilesResponse");
    if (!answer) return false;
    for (const TiXmlElement* p = answer->FirstChildElement(); p; p = p->NextSiblingElement()) {
        if (!Is(p, "Profiles") || profiles->size() >= kMaxProfiles) continue;
        MediaProfile profile;
        const char* token = p->Attribute("token");
        if (!token || !*token || std::strlen(token) > kMaxText) continue;
        profile.token = token;
        profile.name = Text(Child(p, "Name"));
        // Media keeps the configurations in the profile, media2 under Configurations.
        for (const TiXmlElement* holder : {p, Child(p, "Configurations")})
            for (const char* audio : {"AudioSourceConfiguration", "AudioEncoderConfiguration", "AudioSource",
                                      "AudioEncoder"})
                if (Child(holder, audio)) profile.audio = true;
        profiles->push_back(std::move(profile));
    }
    return true;
}

bool ParseStreamUri(std::string_view xml, std::string* uri) {
    TiXmlDocument doc;
    const TiXmlElement* answer = Child(Body(&doc, xml, kMaxAnswer), "GetStreamUriResponse");
    if (!answer) return false;
    const TiXmlElement* media = Child(answer, "MediaUri");
    const std::string text = Text(media ? Child(media, "Uri") : Child(answer, "Uri"));
    if (!text.starts_with("rtsp://") && !text.starts_with("rtsps://")) return false;
    if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }))
        return false;
    *uri = text;
    return true;
}

int ParseAudioOutputs(std::string_view xml) {
    TiXmlDocument doc;
    const TiXmlElement* answer = Child(Body(&doc, xml, kMaxAnswer), "GetAudioOutputsResponse");
    if (!answer) return -1;
    int count = 0;
    for (const TiXmlElement* e = answer->FirstChildElement(); e; e = e->NextSiblingElement())
        if (Is(e, "AudioOutputs") || Is(e, "Token")) ++count;
    return count;
}

SoapFault ParseFault(std::string_view xml) {
    TiXmlDocument doc;
    const TiXmlElement* fault = Child(Body(&doc, xml, kMaxAnswer), "Fault");
    if (!fault) return SoapFault::kNone;
    bool denied = false;
    std::function<void(const TiXmlElement*)> visit = [&](const TiXmlElement* e) {
        if (Is(e, "Value") || Is(e, "faultcode")) {
            const std::string v = Text(e);
            const size_t colon = v.rfind(':');
            const std::string local = colon == std::string::npos ? v : v.substr(colon + 1);
            if (local == "NotAuthorized" || local == "FailedAuthentication") denied = true;
        }
        for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) visit(c);
    };
    visit(fault);
    return denied ? SoapFault::kNotAuthorized : SoapFault::kOther;
}

}  // namespace tesvano
