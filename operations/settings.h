// Handlers of the save-folder buttons, the overlay-mode list and the volume
// trackbar.
#pragma once

#include "operations/main_window.h"

namespace tesvano {

void OnSelectSaveDir(IMainWindow& window);   // button 1005
void OnOpenSaveDir(IMainWindow& window);     // button 1012
void OnOverlayModeChanged(IMainWindow& window);  // list 1008
void OnVolumeMoved(IMainWindow& window);     // trackbar 1010

}  // namespace tesvano
