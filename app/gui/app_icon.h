#pragma once

#include <QIcon>

namespace tesvano {

// The application icon: a speaker sending waves, drawn at every size asked for.
QIcon AppIcon();
QImage DrawAppIcon(int size);

}  // namespace tesvano
