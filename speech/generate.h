// The text-to-PCM and text-to-WAV buttons, and the file name both they and
// the MP3 button form from the text.
#pragma once

#include <string>

#include "app/main_window.h"
#include "audio/pcm.h"

namespace tesvano {

// The text without "。", "，", "," and "." (removed in that order), cut to
// 20 UTF-16 units; a cut that would split a surrogate pair keeps 19.
std::u16string MakeFileStem(const std::u16string& text);

// Save folder + "/" + stem + extension (".mp3", ".pcm", ".wav").
std::u16string MakeOutputPath(IMainWindow& window, const std::u16string& text, const char16_t* extension);

// The start all generate buttons share: rate and text read from the window,
// PLEASE_INPUT_TEXT logged for an empty text, then the synthesis. Returns
// kEmptyText for an empty text, otherwise SynthesizeSpeech's result.
inline constexpr int kEmptyText = -2;
int SynthesizeWindowText(IMainWindow& window, int* rate, std::u16string* text, PcmBuffer* pcm);

OpResult OnGeneratePcm(IMainWindow& window);  // button 1016
OpResult OnGenerateWav(IMainWindow& window);  // button 1018

}  // namespace tesvano
