// Lays background music under the voice, or before and/or after it.
#pragma once

#include <span>

#include "audio/pcm.h"

namespace tesvano {

// Where the music goes. The values are those stored with the overlay list's
// entries, so a stored choice maps one to one.
enum class MixMode : int {
    kUnderVoice = 0,   // under the voice at `volume` percent (0..100), voice length kept
    kBeforeVoice = 1,  // music, then voice
    kAfterVoice = 2,   // voice, then music
    kAroundVoice = 3,  // music, voice, music
};

// Nothing changes when the voice or the music is empty, or for a mode
// outside the enum.
void MixBackgroundMusic(PcmBuffer& voice, const PcmBuffer& music, MixMode mode, int volume);
// The same on a voice held elsewhere: the music goes under it in place
// (false), or the joined audio of the other modes goes to *joined (true).
bool MixBackgroundMusic(std::span<uint8_t> voice, std::span<const uint8_t> music, MixMode mode, int volume,
                        PcmBuffer* joined);

// Keeps the first `samples` samples of the music, fading out over the last
// `fadeSamples` of them so the cut does not click.
void ShortenMusic(PcmBuffer& music, size_t samples, size_t fadeSamples);

}  // namespace tesvano
