// G.711 for cameras and door stations that take 8 kHz A-law or µ-law WAV:
// the standard companding of 16-bit linear samples into 8 bits, and the WAV
// file that carries them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/file.h"

namespace tesvano {

enum class G711Law { kALaw, kMuLaw };

inline constexpr uint32_t kG711Rate = 8000;

uint8_t LinearToALaw(int16_t sample);
uint8_t LinearToMuLaw(int16_t sample);

// A WAV of format tag 6 (A-law) or 7 (µ-law), mono, 8 bits per sample, from
// 16-bit mono PCM at kG711Rate; written whole or not at all.
WriteStatus WriteG711WavFile(const std::string& path, G711Law law, std::span<const uint8_t> pcm);

}  // namespace tesvano
