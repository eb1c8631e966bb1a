/* The interface of libtesvano-ffmpeg.so, the any-audio decoder the program
 * opens beside itself on first use: FFmpeg's libraries, and the codecs they
 * pull in, load only for a conversion that needs them. Plain C, so the
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
#define TESVANO_FFMPEG_MODULE_VERSION 1

typedef struct TesvanoFfmpegResult {
    int status;          /* a DecodeResult: kDecodeOk, kDecodeFileError or kDecodeFailed */
    int fileError;       /* errno behind kDecodeFileError */
    const uint8_t* pcm;  /* mono 16-bit samples as bytes; empty for a file without audio */
    size_t pcmBytes;
    void* owner;         /* the module's, until release */
} TesvanoFfmpegResult;

typedef struct TesvanoFfmpegModuleTable {
    int version; /* TESVANO_FFMPEG_MODULE_VERSION */
    /* Decodes the first audio stream of the file to mono at targetRate;
     * output beyond outputLimit bytes is kDecodeFailed. Always fills *result. */
    void (*decode)(const char* path, int targetRate, size_t outputLimit, TesvanoFfmpegResult* result);
    /* Frees what decode handed out; the result is empty afterwards. */
    void (*release)(TesvanoFfmpegResult* result);
} TesvanoFfmpegModuleTable;

__attribute__((visibility("default"))) const TesvanoFfmpegModuleTable* TesvanoFfmpegModule(void);

#ifdef __cplusplus
}
#endif

#endif
