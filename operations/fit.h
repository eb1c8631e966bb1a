// The console's --fit: a camera MP3 kept within the camera's 40960 bytes by
// shortening the music around the voice, then by speaking faster.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/mixer.h"
#include "operations/main_window.h"
#include "operations/requests.h"

namespace tesvano {

// How many samples of music may go before and/or after a voice of `voice`
// samples (mode 1 to 3) so that the whole stays within `limit` samples: all
// `music` when it fits, less when not, none when the voice alone is over.
// Music under the voice (mode 0) adds no length and is always kept.
size_t MusicThatFits(MixMode mode, size_t voice, size_t music, size_t limit);

// The speed that should shrink a voice of `voice` samples, spoken at
// `speed`, to `limit` samples; at least one above `speed`, at most
// kFastestFitSpeed.
int SpeedToFit(int speed, size_t voice, size_t limit);

// GenerateMp3 with the fitting: the file is written only when it fits.
OpResult GenerateMp3Fitted(IMainWindow& window, const SayRequest& request);
// Button 1001 with the fit box checked: the same from the window's request.
OpResult OnGenerateMp3Fitted(IMainWindow& window);

}  // namespace tesvano
