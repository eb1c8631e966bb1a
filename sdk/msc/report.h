// The engine's reason lines: why a voice map is ignored, why a server voice
// failed. Each goes to standard error as "libmsc: <line>" and is kept, so a
// program that shows reasons itself can ask for it (TesvanoLastError).
#pragma once

#include <string>

namespace msc {

// Control characters are blanked and passwords hidden by the caller.
void Report(const std::string& line);
// The lines reported since the last call, joined by "; "; then forgets them.
std::string TakeReports();
// In the server module: hand each line to libmsc's sink instead (which
// prints and keeps it there).
void SetReportSink(void (*sink)(const char* line));

}  // namespace msc
