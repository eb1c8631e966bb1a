/* The interface of libtesvano-ffmpeg.so, the any-audio decoder (and the AAC
 * encoder of cameras that take only AAC) the program opens beside itself on
 * first use: FFmpeg's libraries, and the codecs they pull in, load only for
 * the work that needs them. Plain C, so the
 * module and the program agree on nothing but this table. */
#ifndef TESVANO_FFMPEG_MODULE_H
#define TESVANO_FFMPEG_MODULE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TESVANO_FFMPEG_MODULE_FILE "libtesvano-ffmpeg.so"
#define TESVANO_FFMPEG_MODULE_ENTRY "TesvanoFfmpegModule"
#define TESVANO_FFMPEG_MODULE_VERSION 2

typedef struct TesvanoFfmpegResult {
    int status;          /* a DecodeResult: kDecodeOk, kDecodeFileError or kDecodeFailed */
    int fileError;       /* errno behind kDecodeFileError */
    const uint8_t* pcm;  /* mono 16-bit samples as bytes; empty for a file without audio */
    size_t pcmBytes;
    void* owner;         /* the module's, until release */
} TesvanoFfmpegResult;

typedef struct TesvanoAacEncoder TesvanoAacEncoder;

typedef struct TesvanoFfmpegModuleTable {
    int version; /* TESVANO_FFMPEG_MODULE_VERSION */
    /* Decodes the first audio stream of the file to mono at targetRate;
     * output beyond outputLimit bytes is kDecodeFailed. Always fills *result. */
    void (*decode)(const char* path, int targetRate, size_t outputLimit, TesvanoFfmpegResult* result);
    /* Frees what decode handed out; the result is empty afterwards. */
    void (*release)(TesvanoFfmpegResult* result);

    /* FFmpeg's AAC-LC encoder, mono at `rate`. NULL, with a line for people
     * in `reason`, when it cannot be opened; else *frameSamples is how many
     * samples each frame takes. */
    TesvanoAacEncoder* (*aacOpen)(int rate, int bitRate, int* frameSamples, char* reason, size_t reasonSize);
    /* One frame of 16-bit little-endian mono samples (`count` of them, the
     * frame size except for the last), or NULL once to drain. 0, or -1 on failure. */
    int (*aacSend)(TesvanoAacEncoder* encoder, const uint8_t* samples, int count);
    /* The next access unit (a raw AAC frame, no ADTS header) into `out`: 1
     * with *bytes set, 0 while none is ready (or all drained), -1 on failure
     * or a unit larger than `capacity`. */
    int (*aacReceive)(TesvanoAacEncoder* encoder, uint8_t* out, size_t capacity, size_t* bytes);
    void (*aacClose)(TesvanoAacEncoder* encoder);
} TesvanoFfmpegModuleTable;

__attribute__((visibility("default"))) const TesvanoFfmpegModuleTable* TesvanoFfmpegModule(void);

#ifdef __cplusplus
}
#endif

#endif
