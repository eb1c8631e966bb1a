/* libtesvano-onvif.so: the network half of finding cameras, loaded on first
 * use so that tesvano-cli starts without libcurl. Answers are handed over
 * raw; the program parses them. */
#ifndef TESVANO_ONVIF_MODULE_H
#define TESVANO_ONVIF_MODULE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one answer: a datagram or an HTTP body, never longer than the caps below. */
typedef void (*TesvanoOnvifSink)(const char* data, size_t size, void* user);

enum {
    kTesvanoOnvifMaxDatagram = 65536,
    kTesvanoOnvifMaxAnswer = 1048576,
    kTesvanoOnvifMaxDatagrams = 1024,
};

/* Result codes below 0 of both calls. */
enum {
    kTesvanoOnvifBadArguments = -1,
    kTesvanoOnvifNoInterface = -2,  /* no IPv4 interface up and multicast-capable */
    kTesvanoOnvifNoConnection = -3, /* refused, unreachable or timed out */
    kTesvanoOnvifTooLarge = -4,     /* answer above kTesvanoOnvifMaxAnswer */
    kTesvanoOnvifFailed = -5,
};

/* Sends `probe` to 239.255.255.250:3702 on every IPv4 interface that is up
 * and multicast-capable, then hands each answer to `sink` until timeoutMs
 * have passed. Returns the number of interfaces it was sent on, or a code. */
int TesvanoOnvifProbe(const char* probe, size_t size, int timeoutMs, TesvanoOnvifSink sink, void* user);

/* POSTs a SOAP 1.2 envelope holding `body` to the http(s) `url`, with a
 * WS-Security UsernameToken (PasswordDigest) for user and password, and
 * HTTP Digest when the device asks for it (never Basic). Hands the answer
 * body to `sink`; returns the HTTP status, or a code. */
int TesvanoOnvifCall(const char* url, const char* user, const char* password, const char* body, int timeoutMs,
                     TesvanoOnvifSink sink, void* sinkUser);

#ifdef __cplusplus
}
#endif

#endif
