// The main job: text to a camera MP3 in the save folder (button 1001).
#pragma once

#include "app/main_window.h"

namespace tesvano {

OpResult OnGenerateMp3(IMainWindow& window);

}  // namespace tesvano
