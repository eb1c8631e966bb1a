// Binding a replaceable library by name, as the original loaded its DLLs:
// the file beside the program first, then the library path.
#pragma once

#include <dlfcn.h>

namespace tesvano {

// The library's handle, or nullptr (dlerror() says why). A file beside the
// program that exists but does not load is not looked for elsewhere.
void* OpenLibraryBesideProgram(const char* fileName);

// Points *slot at the library's symbol `name`; false when it has none.
template <typename F>
bool BindSymbol(void* library, const char* name, F* slot) {
    void* symbol = dlsym(library, name);
    if (!symbol) return false;
    *slot = reinterpret_cast<F>(symbol);
    return true;
}

}  // namespace tesvano
