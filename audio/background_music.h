// Decodes the background music chosen in the window (list 1007) to mono PCM
// at the voice's rate.
#pragma once

#include "app/main_window.h"
#include "audio/pcm.h"

namespace tesvano {

// 0 with or without music (*music left empty when none is chosen); -1 when
// the chosen file could not be decoded (logged, or a message box for a file
// that cannot be opened or read).
int DecodeBackgroundMusic(IMainWindow& window, int rate, PcmBuffer* music);

}  // namespace tesvano
