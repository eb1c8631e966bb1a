#pragma once

namespace tesvano {

// Runs the whole program: the main window, modally, until it is closed.
class CTesvanoApp {
public:
    int Run(int argc, char** argv);
};

}  // namespace tesvano
