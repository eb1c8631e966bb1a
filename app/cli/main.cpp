// tesvano-cli: the console front end.
#include <cstdio>

#include "app/cli/commands.h"
#include "platform/trace.h"

// Standard output carries only the numbered log and the listings.
int main(int argc, char** argv) {
    tesvano::SetTraceStream(stderr);
    return tesvano::RunConsole(argc, argv, stdout, stderr);
}
