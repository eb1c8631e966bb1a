// Text to PCM through the speech engine: one login, one session, the audio
// collected by polling, background music laid in afterwards.
#pragma once

#include <cstddef>
#include <string>

#include "app/main_window.h"
#include "audio/pcm.h"
#include "speech/speech_engine.h"

namespace tesvano {

// Synthesis buffer: grows in whole mebibytes so reallocation stays rare.
class SynthesisBuffer {
public:
    static constexpr size_t kStep = 1048576;

    // false when memory runs out (the buffer is then unchanged).
    bool Allocate();
    bool Append(const void* data, size_t length);
    size_t size() const { return pcm_.size(); }
    size_t capacity() const { return capacity_; }
    PcmBuffer Take() { return std::move(pcm_); }

private:
    PcmBuffer pcm_;
    size_t capacity_ = 0;
};

// "voice_name =<voice>, text_encoding = gb2312, sample_rate = <rate>, speed = 50, ..."
std::string BuildSessionParams(int voiceIndex, int sampleRate);

// One engine session from narrow text to PCM. 0 on success (the PCM may be
// empty), -1 when the text is missing or memory ran out, otherwise the
// engine's error code. Failures are logged to the window.
int text_to_speech_wavfile(const char* text, IMainWindow& window, const char* params, PcmBuffer* pcm);

// The whole synthesis for a generate button: music, login, session, mixing.
// > 0: bytes of *pcm, logged in (the caller logs out after using it).
//   0: not logged in (music failed, or the login failed): nothing to do.
//  -1: logged in but no audio: the caller logs out at once.
int SynthesizeSpeech(IMainWindow& window, int sampleRate, const std::u16string& text, PcmBuffer* pcm);

}  // namespace tesvano
