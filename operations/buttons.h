// What each button of the main window runs. The Qt window and the console
// front end both dispatch through here, so a click and a command line run
// the same code.
#pragma once

#include "operations/main_window.h"

namespace tesvano {

// Runs the operation of button `id` to its end; false for an ID that is not
// a button with an operation. *result, when given, tells how it ended.
bool RunButton(IMainWindow& window, int id, OpResult* result = nullptr);

}  // namespace tesvano
