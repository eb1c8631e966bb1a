#include "platform/library.h"

#include <string>
#include <unistd.h>

#include "platform/system.h"

namespace tesvano {

void* OpenLibraryBesideProgram(const char* fileName) {
    const std::string beside = GetProgramDirectory() + "/" + fileName;
    if (void* library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    // A file beside the program that does not load (a library it needs is
    // missing) keeps dlerror's reason for it, rather than the search's.
    if (access(beside.c_str(), F_OK) == 0) return nullptr;
    return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace tesvano
