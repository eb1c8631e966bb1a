// The record button (1006): the first click starts a camera capture, the
// second stops it and saves the audio, with the background music, as a
// dated camera MP3 in the save folder.
#pragma once

#include <cstdint>
#include <string>

#include "operations/main_window.h"
#include "operations/requests.h"

namespace tesvano {

// Starts a capture at the request's rate, or stops the running one and
// saves it at the request's rate, with its music, in its save folder.
OpResult ToggleRecording(IMainWindow& window, const RecordRequest& request);
// The button: the same with the request read from the window.
OpResult OnRecord(IMainWindow& window);

// The window is closing: a running capture is stopped and its audio
// discarded; the buffer is freed.
void CloseRecording(IMainWindow& window);

// While a capture runs, the record button tells how long it has run
// ("Stop 1:05"); the window calls this every second or so.
void ShowRecordingTime(IMainWindow& window);

// The key whose text reports a start result.
const char* CaptureResultKey(int result);

// "<dir>/YYYY-MM-DD-<tick as ten digits>.mp3" from the local date and the tick.
std::string RecordingFileName(const std::string& saveDir, uint32_t tick);

}  // namespace tesvano
