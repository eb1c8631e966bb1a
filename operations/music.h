// Background music from the window's settings: the file chosen in list 1007
// decoded to mono PCM at the voice's rate, and laid in by the overlay mode
// (list 1008) and volume (trackbar 1010).
#pragma once

#include <span>

#include "audio/pcm.h"
#include "operations/main_window.h"

namespace tesvano {

// 0 with or without music (*music left empty when none is chosen); -1 when
// the chosen file could not be decoded (logged, or a message box for a file
// that cannot be opened or read).
int DecodeBackgroundMusic(IMainWindow& window, int rate, PcmBuffer* music);

// Mixes `music` into `voice` with the overlay mode and volume the window
// shows now; nothing when there is no music.
void MixMusicFromWindow(IMainWindow& window, PcmBuffer& voice, const PcmBuffer& music);
// The same for a voice held elsewhere: under it in place (false), or the
// joined audio in *joined (true).
bool MixMusicFromWindow(IMainWindow& window, std::span<uint8_t> voice, const PcmBuffer& music, PcmBuffer* joined);

}  // namespace tesvano
