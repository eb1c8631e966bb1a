// Where the program's trace lines go (format parameters, engine login errors).
// Standard output by default, as the window has always done; tesvano-cli sends
// them to standard error so its standard output stays the numbered log.
#pragma once

#include <cstdio>

namespace tesvano {

std::FILE* TraceStream();
// nullptr: standard output again.
void SetTraceStream(std::FILE* stream);

}  // namespace tesvano
