/* The interface of libmsc-server.so, the speech-server client that libmsc
 * opens beside itself the first time a mapped voice speaks: libcurl and the
 * answer decoding load only for server voices. Plain C, with a version. */
#ifndef TESVANO_MSC_SERVER_MODULE_H
#define TESVANO_MSC_SERVER_MODULE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MSC_SERVER_MODULE_FILE "libmsc-server.so"
#define MSC_SERVER_MODULE_ENTRY "MscServerModule"
#define MSC_SERVER_MODULE_VERSION 2

/* One utterance: the voice map's server settings, the server's voice, the
 * text in UTF-8 and the session's parameters. */
typedef struct MscServerRequest {
    const char* url;
    const char* model;
    const char* keyEnv;   /* "" for no Authorization header */
    int format;           /* 0 wav, 1 pcm, 2 mp3 */
    int timeoutSeconds;
    const char* voice;
    const char* text;
    size_t textBytes;
    int sampleRate;
    int speed;
    int volume;
    /* Where the module's reason lines go (libmsc prints and keeps them). */
    void (*report)(const char* line);
} MscServerRequest;

typedef struct MscServerSpeech MscServerSpeech;

typedef struct MscServerModuleTable {
    int version; /* MSC_SERVER_MODULE_VERSION */
    /* Sends the request on a thread of its own; *speech is set on success.
     * MSP code. */
    int (*start)(const MscServerRequest* request, MscServerSpeech** speech);
    /* The audio decoded since the last call, at the session's rate, readable
     * until the next call; waits up to waitMs for the answer to end. MSP code. */
    int (*take)(MscServerSpeech* speech, int waitMs, const int16_t** samples, size_t* count);
    /* Non-zero once take has handed over the whole answer. */
    int (*finished)(const MscServerSpeech* speech);
    /* Stops a transfer still running and frees the speech. */
    void (*end)(MscServerSpeech* speech);
} MscServerModuleTable;

__attribute__((visibility("default"))) const MscServerModuleTable* MscServerModule(void);

#ifdef __cplusplus
}
#endif

#endif
