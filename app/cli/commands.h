// tesvano-cli's commands: say, voices, music, convert, to-wav, record,
// camera, cameras and play, run through the console window.
#pragma once

#include <cstdio>

namespace tesvano {

// tesvano-cli's command line; returns the process exit status.
int RunConsole(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace tesvano
