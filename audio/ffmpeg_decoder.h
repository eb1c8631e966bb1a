// Whole-file decoding of any audio FFmpeg's libraries read (WAV, FLAC, Ogg,
// M4A, Opus, a video's sound track): the first audio stream, as mono 16-bit
// PCM at a target rate.
#pragma once

#include <climits>
#include <cstddef>
#include <string>

#include "audio/pcm.h"

namespace tesvano {

struct FfmpegDecode {
    int status = 0;     // a DecodeResult: kDecodeOk, kDecodeFileError or kDecodeFailed
    int fileError = 0;  // errno behind kDecodeFileError
    PcmBuffer pcm;      // empty for a file with no audio stream FFmpeg can read
};

// Only regular files are read, through our own reads: a FIFO or a device
// never blocks, and a read error is an error, not the end of the audio.
// Output beyond outputLimit bytes is kDecodeFailed.
FfmpegDecode DecodeWithFfmpeg(const std::string& path, int targetRate, size_t outputLimit = INT_MAX);

}  // namespace tesvano
