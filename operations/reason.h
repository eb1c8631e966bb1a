// Why a failure happened, as one more log line after the line that reports
// it: the window shows what the console also prints on standard error.
#pragma once

#include <string>

#include "operations/main_window.h"

namespace tesvano {

// Appends `reason` (passwords hidden, control characters blanked) as a log
// line of its own; nothing when it is empty.
void LogReason(IMainWindow& window, const std::string& reason);

}  // namespace tesvano
