// libtesvano-ffmpeg.so: DecodeWithFfmpeg and the AAC encoder behind the module's C table.
#include "audio/ffmpeg_module.h"

#include <memory>

#include "audio/ffmpeg_aac_encoder.h"
#include "audio/ffmpeg_decoder.h"
#include "audio/mp3_decoder.h"

namespace tesvano {
namespace {

void Decode(const char* path, int targetRate, size_t outputLimit, TesvanoFfmpegResult* result) {
    *result = TesvanoFfmpegResult{kDecodeFailed, 0, nullptr, 0, nullptr};
    if (!path) return;
    try {
        auto decoded = std::make_unique<FfmpegDecode>(DecodeWithFfmpeg(path, targetRate, outputLimit));
        result->status = decoded->status;
        result->fileError = decoded->fileError;
        result->pcm = decoded->pcm.data();
        result->pcmBytes = decoded->pcm.size();
        result->owner = decoded.release();
    } catch (...) {
        // Nothing may unwind into the program through a C call.
        result->status = kDecodeFailed;
    }
}

void Release(TesvanoFfmpegResult* result) {
    if (!result) return;
    delete static_cast<FfmpegDecode*>(result->owner);
    *result = TesvanoFfmpegResult{kDecodeFailed, 0, nullptr, 0, nullptr};
}

constexpr TesvanoFfmpegModuleTable kTable = {TESVANO_FFMPEG_MODULE_VERSION, Decode, Release, AacOpen, AacSend,
                                             AacReceive, AacClose};

}  // namespace
}  // namespace tesvano

extern "C" const TesvanoFfmpegModuleTable* TesvanoFfmpegModule(void) { return &tesvano::kTable; }
