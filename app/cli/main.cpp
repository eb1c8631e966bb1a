// tesvano-cli: the console front end.
#include <cstdio>

#include "app/cli/console_window.h"

int main(int argc, char** argv) { return tesvano::RunConsole(argc, argv, stdout, stderr); }
