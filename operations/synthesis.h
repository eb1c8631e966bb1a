// The program's side of a synthesis: one login, one session, the audio
// collected by polling, background music laid in afterwards. Every failure
// becomes log lines in the window.
#pragma once

#include <string>

#include "audio/pcm.h"
#include "operations/main_window.h"

namespace tesvano {

// One engine session from narrow text to PCM. 0 on success (the PCM may be
// empty), -1 when the text is missing or memory ran out, otherwise the
// engine's error code. Failures are logged to the window.
int text_to_speech_wavfile(const char* text, IMainWindow& window, const char* params, PcmBuffer* pcm);

// The whole synthesis for a generate button: music, login, session, mixing.
// > 0: bytes of *pcm, logged in (the caller logs out after using it).
//   0: not logged in (music failed, or the login failed): nothing to do.
//  -1: logged in but no audio: the caller logs out at once.
int SynthesizeSpeech(IMainWindow& window, int sampleRate, const std::u16string& text, PcmBuffer* pcm);

// The same before the mixing, for a caller that shapes voice and music
// itself: the music decoded into *music, the voice at `speed` into *voice.
// Results as SynthesizeSpeech, > 0 being the voice's bytes.
int SynthesizeVoice(IMainWindow& window, int sampleRate, const std::u16string& text, int speed, PcmBuffer* voice,
                    PcmBuffer* music);
// The voice once more within that login, at another speed; the same results.
int SpeakAgain(IMainWindow& window, int sampleRate, const std::u16string& text, int speed, PcmBuffer* voice);

}  // namespace tesvano
