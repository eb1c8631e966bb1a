// The generate buttons: text to MP3 (1001), PCM (1016) and WAV (1018), and
// the file name they form from the text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "operations/main_window.h"
#include "audio/g711.h"
#include "audio/pcm.h"

namespace tesvano {

// The text without "。", "，", "," and "." (removed in that order) and
// without what a file name cannot hold on common file systems (/ \ : * ? " < >
// | and control characters), cut to 20 UTF-16 units (a cut that would split a
// surrogate pair keeps 19), trailing blanks dropped; when nothing is left, a
// dated name (DatedFileStem of now).
std::u16string MakeFileStem(const std::u16string& text);
// The same without the dated fallback: "" when nothing is left.
std::u16string TextFileStem(const std::u16string& text);
// A stem given by the operator can name a file in the save folder: not
// empty, not "." or "..", none of the characters MakeFileStem drops, no
// trailing blank, at most 200 UTF-16 units.
bool IsUsableFileStem(const std::u16string& stem);

// "YYYY-MM-DD-<tick, 10 digits>" in local time, as recordings are named.
std::string DatedFileStem(uint32_t tick);

// Save folder + "/" + stem + extension (".mp3", ".pcm", ".wav"); the stem is
// the window's fileStem() when one is set, else made from the text.
std::u16string MakeOutputPath(IMainWindow& window, const std::u16string& text, const char16_t* extension);

// The window's rate and text; false (PLEASE_INPUT_TEXT logged) for an
// empty text, which no button speaks or converts without.
bool ReadRateAndText(IMainWindow& window, int* rate, std::u16string* text);

// What every generate button does around its own file writing: rate and
// text read from the window (PLEASE_INPUT_TEXT for an empty text), the
// synthesis, `write` when there is audio, and the logout whenever the
// synthesis logged in.
using PcmWriter = std::function<OpResult(int rate, const std::u16string& text, const PcmBuffer& pcm)>;
OpResult GenerateWith(IMainWindow& window, const PcmWriter& write);

// What button 1001 does with the synthesised PCM: the camera MP3 named
// after the text, its lines, the size warning, the desktop.
OpResult SaveTextMp3(IMainWindow& window, int rate, const std::u16string& text, const PcmBuffer& pcm);

OpResult OnGenerateMp3(IMainWindow& window);  // button 1001
OpResult OnGeneratePcm(IMainWindow& window);  // button 1016
OpResult OnGenerateWav(IMainWindow& window);  // button 1018
// An A-law or µ-law WAV for cameras that take G.711 (console only); the
// window's rate must be 8000.
OpResult OnGenerateG711(IMainWindow& window, G711Law law);

}  // namespace tesvano
