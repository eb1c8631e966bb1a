// The AAC encoder half of libtesvano-ffmpeg.so; the program reaches it
// through the module's table (audio/ffmpeg_module.h), never directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/ffmpeg_module.h"

namespace tesvano {

TesvanoAacEncoder* AacOpen(int rate, int bitRate, int* frameSamples, char* reason, size_t reasonSize);
int AacSend(TesvanoAacEncoder* encoder, const uint8_t* samples, int count);
int AacReceive(TesvanoAacEncoder* encoder, uint8_t* out, size_t capacity, size_t* bytes);
void AacClose(TesvanoAacEncoder* encoder);

}  // namespace tesvano
