// The generate operations: a request spoken into an MP3, PCM or WAV file,
// the buttons that run them (1001, 1016, 1018), and the file name they form
// from the text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "operations/main_window.h"
#include "operations/requests.h"
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

// The request's save folder + "/" + stem + extension (".mp3", ".pcm",
// ".wav"); the stem is the request's fileStem when one is set, else made
// from the text.
std::u16string MakeOutputPath(const SayRequest& request, const char16_t* extension);

// False (PLEASE_INPUT_TEXT logged) for an empty text, which no button
// speaks or converts without.
bool HaveText(IMainWindow& window, const std::u16string& text);
// The window's rate and text, with HaveText's check.
bool ReadRateAndText(IMainWindow& window, int* rate, std::u16string* text);

// What every way of speaking a request does around its own file writing:
// PLEASE_INPUT_TEXT for an empty text, the synthesis, `write` when there is
// audio, and the logout whenever the synthesis logged in.
using PcmWriter = std::function<OpResult(const SayRequest& request, const PcmBuffer& pcm)>;
OpResult GenerateWith(IMainWindow& window, const SayRequest& request, const PcmWriter& write);

// The camera MP3 of a spoken request: its lines, the size warning, the desktop.
OpResult SaveTextMp3(IMainWindow& window, const SayRequest& request, const PcmBuffer& pcm);

OpResult GenerateMp3(IMainWindow& window, const SayRequest& request);
OpResult GeneratePcm(IMainWindow& window, const SayRequest& request);
OpResult GenerateWav(IMainWindow& window, const SayRequest& request);
// An A-law or µ-law WAV for cameras that take G.711 (console only); the
// request's rate must be 8000.
OpResult GenerateG711(IMainWindow& window, const SayRequest& request, G711Law law);

// The buttons: the request read from the window, then spoken.
OpResult OnGenerateMp3(IMainWindow& window);  // button 1001
OpResult OnGeneratePcm(IMainWindow& window);  // button 1016
OpResult OnGenerateWav(IMainWindow& window);  // button 1018

}  // namespace tesvano
