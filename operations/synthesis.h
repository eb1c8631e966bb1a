// The program's side of a synthesis: one login, one session, the audio
// collected by polling, background music laid in afterwards. Every failure
// becomes log lines in the window.
#pragma once

#include <string>

#include "audio/pcm.h"
#include "operations/main_window.h"
#include "operations/requests.h"

namespace tesvano {

// One engine session from narrow text to PCM. 0 on success (the PCM may be
// empty), -1 when the text is missing or memory ran out, otherwise the
// engine's error code. Failures are logged to the window.
int text_to_speech_wavfile(const char* text, IMainWindow& window, const char* params, PcmBuffer* pcm);

// One login to the speech engine, owned by the operation that speaks: it is
// made when the synthesis gets that far and given back (MSPLogout) exactly
// once when the operation ends, however it ends.
class EngineLogin {
public:
    EngineLogin() = default;
    ~EngineLogin();
    EngineLogin(const EngineLogin&) = delete;
    EngineLogin& operator=(const EngineLogin&) = delete;

    // MSPLogin; false (traced) when the engine refuses.
    bool LogIn();
    bool loggedIn() const { return loggedIn_; }

private:
    bool loggedIn_ = false;
};

// The whole synthesis of a request: music, login, session, mixing. True
// with the audio in *pcm; false when there is none (each failure already in
// the window's log).
bool SynthesizeSpeech(IMainWindow& window, EngineLogin& login, const SayRequest& request, PcmBuffer* pcm);

// The same before the mixing, for a caller that shapes voice and music
// itself: the music decoded into *music, the voice at `speed` into *voice.
bool SynthesizeVoice(IMainWindow& window, EngineLogin& login, const SayRequest& request, int speed, PcmBuffer* voice,
                     PcmBuffer* music);
// The voice once more within that login, at another speed.
bool SpeakAgain(IMainWindow& window, const SayRequest& request, int speed, PcmBuffer* voice);

}  // namespace tesvano
