// Filling the main window's controls at start-up: the same steps for the Qt
// window and the console front end.
#pragma once

#include <string>
#include <vector>

#include "operations/main_window.h"

namespace tesvano {

inline constexpr char kVersion[] = "V2.0.9_20251119";

// "TITLE V2.0.9_20251119 AUTHOR".
std::u16string MakeCaption();

// Names in `dir` ending in ".mp3" (any case), folders included, in the order
// an NTFS listing gives: compared as upper-cased UTF-16 units.
std::vector<std::u16string> ListMusicFiles(const std::string& dir);

// Voices, default text, music list, overlay modes (and their visibility rule),
// the hidden sample-rate list, the volume trackbar and the save folder. With
// markServerVoices the voices a speech server speaks say so, which asks the
// engine (the window does; the console, which shows no list, need not load it).
void FillControls(IMainWindow& window, bool markServerVoices = false);

// The captions of labels and buttons.
void SetControlLabels(IMainWindow& window);

}  // namespace tesvano
