// Background music as a request chooses it: the file decoded to mono PCM at
// the voice's rate, and laid in by the overlay mode and volume.
#pragma once

#include <span>

#include "audio/pcm.h"
#include "operations/main_window.h"
#include "operations/requests.h"

namespace tesvano {

// 0 with or without music (*music left empty when none is chosen); -1 when
// the chosen file could not be decoded (logged, or a message box for a file
// that cannot be opened or read).
int DecodeBackgroundMusic(IMainWindow& window, const MusicChoice& choice, int rate, PcmBuffer* music);

// Mixes `music` into `voice` with the choice's overlay mode and volume;
// nothing when there is no music.
void MixMusic(const MusicChoice& choice, PcmBuffer& voice, const PcmBuffer& music);
// The same for a voice held elsewhere: under it in place (false), or the
// joined audio in *joined (true).
bool MixMusic(const MusicChoice& choice, std::span<uint8_t> voice, const PcmBuffer& music, PcmBuffer* joined);

}  // namespace tesvano
