// Speech from text runs: espeak-ng at its own rate, then libsoxr to the
// session's rate, then one gain for the whole utterance.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "sdk/msc/params.h"
#include "sdk/msc/text_input.h"
#include "sdk/msc/voices.h"

namespace msc {

// espeak-ng has global state: initialise it once per process. MSP code.
int StartEngine();

// espeak-ng's own sample rate; 0 before StartEngine.
int NativeRate();

// How long one utterance may take: many times what espeak-ng needs for the
// text's length, and never less than 30 s.
std::chrono::milliseconds SpeakDeadline(const std::vector<TextRun>& runs);

// Speaks the runs one after another in a child process forked from the
// engine's state as StartEngine left it, so the same runs always give the
// same samples. A child still at work after the deadline is killed:
// MSP_ERROR_ENGINE_TIMEOUT. The caller serialises calls.
int Speak(const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs,
          std::chrono::milliseconds deadline, std::vector<int16_t>* pcm);

// Peak level of the output at volume 50: -1 dBFS.
inline constexpr float kPeakLevel = 0.8912509f;

// Resamples 16-bit PCM with soxr at high quality and scales it so that its
// peak is peakLevel of full scale (silence stays silence). MSP code.
int ResampleAndNormalise(const std::vector<int16_t>& in, int inRate, int outRate, float peakLevel,
                         std::vector<int16_t>* out);

}  // namespace msc
