// The end of the MP3 button and of a recording: encode into the camera
// format, save, report the size, warn above the camera's limit, open.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "operations/main_window.h"

namespace tesvano {

OpResult SaveCameraMp3(IMainWindow& window, int rate, std::span<const uint8_t> pcm, const std::string& path);

}  // namespace tesvano
