// Lays background music under the voice, or before and/or after it.
#pragma once

#include "audio/pcm.h"

namespace tesvano {

// mode: the overlay mode (list 1008): 0 under the voice at `volume` percent
// (0..100), 1 before, 2 after, 3 before and after; any other mode changes
// nothing. Nothing changes either when the voice or the music is empty.
void MixBackgroundMusic(PcmBuffer& voice, const PcmBuffer& music, int mode, int volume);

}  // namespace tesvano
