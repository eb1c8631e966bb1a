#pragma once

#include <string>

class QTranslator;

namespace tesvano {

// Installs Qt's own translations for the window's language code ("zh-cn",
// …) from Qt's translations folder; false for English or when none is there.
bool LoadQtTranslation(QTranslator& translator, const std::u16string& languageCode);

// Runs the whole program: the main window, modally, until it is closed.
class CTesvanoApp {
public:
    int Run(int argc, char** argv);
};

}  // namespace tesvano
