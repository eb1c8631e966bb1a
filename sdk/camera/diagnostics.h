// Diagnostics of the capture library go to standard error, passwords hidden,
// FFmpeg's own error lines included.
#pragma once

#include <string>

namespace camera {

// Writes "camera: <text>\n" with every password masked and no control
// character (the text may hold what a camera or server sent).
void Diagnose(const std::string& text);
// The last line Diagnose wrote, for a program that shows reasons itself.
std::string LastDiagnosis();

// Routes FFmpeg's log (errors only) through the masking; once per process.
void InstallFfmpegLog();

}  // namespace camera
