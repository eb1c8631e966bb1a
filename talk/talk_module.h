/* The back-channel module (libtesvano-talk.so) as the program calls it: a
 * small C interface, so GStreamer is loaded only when something is played.
 * Every call is bounded in time; results are TesvanoTalkResult codes. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum TesvanoTalkResult {
    TESVANO_TALK_OK = 0,
    TESVANO_TALK_UNREACHABLE = 1,     /* no connection, or no answer in time */
    TESVANO_TALK_UNAUTHORISED = 2,    /* refused: wrong user or password */
    TESVANO_TALK_NO_BACKCHANNEL = 3,  /* the camera offers no audio back channel */
    TESVANO_TALK_NO_CODEC = 4,        /* a back channel, but in no codec we send */
    TESVANO_TALK_BROKEN = 5,          /* the connection broke or stalled mid-way */
    TESVANO_TALK_MODULE_MISSING = 6,  /* the module or GStreamer's RTSP client is missing */
};

enum TesvanoTalkCodec {
    TESVANO_TALK_PCMU = 1,  /* G.711 mu-law */
    TESVANO_TALK_PCMA = 2,  /* G.711 A-law */
    TESVANO_TALK_L16 = 3,   /* 16-bit big-endian linear */
    TESVANO_TALK_AAC = 4,   /* MPEG4-GENERIC AAC-hbr: one raw AAC frame a packet */
};

typedef struct TesvanoTalk TesvanoTalk;

/* Connects to the RTSP URL (credentials in it), asks for the back channel,
 * sets up only that stream over TCP and starts it. On TESVANO_TALK_OK
 * *session is set and *codec, *rate say what to send. `reason` gets a line
 * for people (no password) on failure. waitMs bounds each step. */
typedef int (*TesvanoTalkOpenFn)(const char* url, int waitMs, TesvanoTalk** session, int* codec, int* rate,
                                 char* reason, size_t reasonSize);
/* Sends one packet's encoded payload holding `samples` samples (for AAC, one
 * access unit; the module adds the AU header the camera asked for); it goes
 * out at once, the caller paces. TESVANO_TALK_BROKEN once the connection failed. */
typedef int (*TesvanoTalkSendFn)(TesvanoTalk* session, const uint8_t* payload, size_t bytes, uint32_t samples,
                                 char* reason, size_t reasonSize);
/* Tears down and frees the session; the result says whether it ended well. */
typedef int (*TesvanoTalkCloseFn)(TesvanoTalk* session);

#define TESVANO_TALK_OPEN "tesvano_talk_open"
#define TESVANO_TALK_SEND "tesvano_talk_send"
#define TESVANO_TALK_CLOSE "tesvano_talk_close"

#ifdef __cplusplus
}
#endif
