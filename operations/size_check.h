// The camera's size limit: a larger file is kept, with a warning.
#pragma once

#include <cstdint>
#include <string>

#include "operations/main_window.h"

namespace tesvano {

// Logs the warning (the size line followed by EXCEED_FILE_SIZE) and shows it
// in a message box when size is above 40960 bytes; true when it did.
bool WarnIfOverCameraLimit(IMainWindow& window, const std::u16string& sizeLine, uint32_t size);

}  // namespace tesvano
