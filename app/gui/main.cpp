#include "app/gui/tesvano_app.h"

int main(int argc, char** argv) { return tesvano::CTesvanoApp().Run(argc, argv); }
