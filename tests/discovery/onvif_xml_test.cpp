// The answer readers on input no test device sends: hostile shapes that must
// be refused, and the URL helpers that carry the password.
#include <gtest/gtest.h>

#include "discovery/discovery.h"
#include "discovery/onvif_xml.h"

namespace tesvano {
namespace {

const std::string kHead = "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>";
const std::string kTail = "</e:Body></e:Envelope>";

std::string Match(const std::string& xaddrs, const std::string& endpoint = "urn:a") {
    return "<e:Envelope><e:Header><RelatesTo>urn:id</RelatesTo></e:Header><e:Body><ProbeMatches><ProbeMatch>"
           "<EndpointReference><Address>" +
           endpoint + "</Address></EndpointReference><XAddrs>" + xaddrs +
           "</XAddrs><Scopes>onvif://www.onvif.org/name/A%2Fb%zz</Scopes></ProbeMatch></ProbeMatches>" + kTail;
}

TEST(OnvifAnswers, HostileShapesAreRefused) {
    std::string deep = kHead;
    for (int i = 0; i < 60; ++i) deep += "<GetStreamUriResponse>";
    // A '>' or '/>' inside quotes must not hide the levels from the depth check.
    std::string quoted = kHead;
    for (int i = 0; i < 60; ++i) quoted += "<a x=\"/>\" y='>'>";
    const std::string uri = "<GetStreamUriResponse><MediaUri><Uri>";
    const struct {
        const char* name;
        std::string xml;
    } cases[] = {
        {"doctype", "<!DOCTYPE e [<!ENTITY x \"y\">]>" + kHead + uri + "rtsp://h/</Uri></MediaUri>"
                                                                         "</GetStreamUriResponse>" + kTail},
        {"deep", deep},
        {"deep behind quotes", quoted},
        {"unterminated tag", kHead + "<GetStreamUriResponse attr=\"" + std::string(100, 'x')},
        {"NUL inside", kHead + uri + std::string("rtsp://h/\0x", 11) + "</Uri></MediaUri></GetStreamUriResponse>" + kTail},
        {"not rtsp", kHead + uri + "file:///etc/passwd</Uri></MediaUri></GetStreamUriResponse>" + kTail},
        {"unknown entity", kHead + uri + "rtsp://h/&x;</Uri></MediaUri></GetStreamUriResponse>" + kTail},
        {"reference cut at the end", kHead + uri + "rtsp://h/&#x4"},
        {"cut inside a character", kHead + uri + "rtsp://h/\xF0"},  // TinyXML steps past the end unless padded
        {"line break in uri", kHead + uri + "rtsp://h/a&#10;b</Uri></MediaUri></GetStreamUriResponse>" + kTail},
        {"over 1 MiB", kHead + uri + "rtsp://h/" + std::string(1 << 20, 'a') + "</Uri></MediaUri>"
                                                                              "</GetStreamUriResponse>" + kTail},
        {"not soap", "<GetStreamUriResponse><Uri>rtsp://h/</Uri></GetStreamUriResponse>"},
    };
    for (const auto& c : cases) {
        std::string got;
        EXPECT_FALSE(ParseStreamUri(c.xml, &got)) << c.name;
    }
    std::string ok;
    EXPECT_TRUE(ParseStreamUri(kHead + uri + " rtsp://h:554/s?a=1 </Uri></MediaUri></GetStreamUriResponse>" + kTail, &ok));
    EXPECT_EQ(ok, "rtsp://h:554/s?a=1");
}

TEST(OnvifAnswers, ProbeMatchesKeepOnlyHttpAddressesOfOurProbe) {
    const struct {
        std::string xml;
        std::string messageId;
        size_t cameras;
    } cases[] = {
        {Match("http://10.0.0.2/onvif/device_service"), "urn:id", 1},
        {Match("http://10.0.0.2/onvif/device_service"), "urn:other", 0},
        {Match("file:///etc/passwd javascript:x https:///x"), "urn:id", 0},
        {Match("ftp://x/ https://10.0.0.3/d http://10.0.0.4/d"), "urn:id", 1},
    };
    for (const auto& c : cases) {
        std::vector<FoundCamera> found;
        ParseProbeMatches(c.xml, c.messageId, &found);
        ASSERT_EQ(found.size(), c.cameras) << c.xml;
        if (c.cameras) {
            EXPECT_EQ(found[0].name, "A/b%zz");
        }
    }
    std::vector<FoundCamera> found;
    ASSERT_TRUE(ParseProbeMatches(Match("https://10.0.0.3/d http://10.0.0.4/d"), "urn:id", &found));
    ASSERT_TRUE(ParseProbeMatches(Match("http://10.0.0.9/d"), "urn:id", &found));  // same endpoint again
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].xaddrs, (std::vector<std::string>{"https://10.0.0.3/d", "http://10.0.0.4/d"}));
}

TEST(OnvifUrls, CredentialsEncodedReplacedAndMasked) {
    const struct {
        const char* url;
        const char* user;
        const char* password;
        const char* withCredentials;
        const char* masked;
    } cases[] = {
        {"rtsp://h:554/s", "admin", "p@ss:w/rd", "rtsp://admin:p%40ss%3Aw%2Frd@h:554/s", "rtsp://***@h:554/s"},
        {"rtsp://old:pw@h/s?u=a@b", "a b", "", "rtsp://a%20b:@h/s?u=a@b", "rtsp://***@b"},
        {"rtsp://[fe80::1]/live", "ü", "%", "rtsp://%C3%BC:%25@[fe80::1]/live", "rtsp://***@[fe80::1]/live"},
    };
    for (const auto& c : cases) {
        const std::string with = WithCredentials(c.url, c.user, c.password);
        EXPECT_EQ(with, c.withCredentials);
        EXPECT_EQ(MaskUrlPassword(with), c.masked);
    }
    EXPECT_EQ(DeviceServiceUrl("10.0.0.5:8080"), "http://10.0.0.5:8080/onvif/device_service");
    for (const char* bad : {"", "a b", "user@host", "ftp://h/", "h/x", "http://"}) EXPECT_EQ(DeviceServiceUrl(bad), "") << bad;
}

}  // namespace
}  // namespace tesvano
