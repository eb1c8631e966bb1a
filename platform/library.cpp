#include "platform/library.h"

#include <string>

#include "platform/system.h"

namespace tesvano {

void* OpenLibraryBesideProgram(const char* fileName) {
    const std::string beside = GetProgramDirectory() + "/" + fileName;
    void* library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    return library ? library : dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace tesvano
