// Decoding of audio that is not MPEG (WAV, FLAC, Ogg, M4A, Opus, a video's
// sound track) through libtesvano-ffmpeg.so, which is opened beside the
// program the first time a file needs it: the MP3 path and text clips never
// load FFmpeg.
#pragma once

#include <climits>
#include <cstddef>
#include <string>

#include "audio/pcm.h"

struct TesvanoFfmpegModuleTable;

namespace tesvano {

struct AnyAudioDecode {
    int status = 0;       // a DecodeResult: kDecodeOk, kDecodeFileError or kDecodeFailed
    int fileError = 0;    // errno behind kDecodeFileError
    PcmBuffer pcm;        // mono 16-bit at the target rate; empty for a file without audio
    std::string problem;  // with kDecodeFailed when the decoder could not be loaded: why
};

// The first audio stream of the file, mixed down to mono at targetRate;
// output beyond outputLimit bytes is kDecodeFailed. Safe from several threads.
AnyAudioDecode DecodeAnyAudio(const std::string& path, int targetRate, size_t outputLimit = INT_MAX);

// The module's table, loaded on first use; null, with *problem saying why,
// when it cannot be loaded.
const TesvanoFfmpegModuleTable* FfmpegModuleTable(std::string* problem);

}  // namespace tesvano
