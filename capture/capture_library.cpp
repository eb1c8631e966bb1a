#include "capture/capture_library.h"

#include <cstdio>
#include <algorithm>
#include <dlfcn.h>
#include <vector>

#include "platform/system.h"

namespace tesvano {
namespace {

int MissingStart(int, int, int, CaptureCallback, void*) { return kCaptureNotFindDevice; }
int MissingStop() { return 0; }

constexpr CaptureLibrary kMissingLibrary = {MissingStart, MissingStop, nullptr};

template <typename F>
bool Bind(void* lib, const char* name, F* slot) {
    void* sym = dlsym(lib, name);
    if (!sym) return false;
    *slot = reinterpret_cast<F>(sym);
    return true;
}

CaptureLibrary LoadCaptureLibrary() {
    // Beside the program first, as the original looked for its DLL.
    const std::string beside = GetProgramDirectory() + "/libQuaboNetSdk.so";
    void* lib = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) lib = dlopen("libQuaboNetSdk.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "camera capture library not available: %s\n", dlerror());
        return kMissingLibrary;
    }
    CaptureLibrary c{};
    if (Bind(lib, "QUABO_NETSDK_IPC_StartAudioCapture", &c.StartAudioCapture) &&
        Bind(lib, "QUABO_NETSDK_IPC_StopAudioCapture", &c.StopAudioCapture)) {
        if (!Bind(lib, "TesvanoCameraSource", &c.DescribeSource)) c.DescribeSource = nullptr;
        return c;
    }
    std::fprintf(stderr, "camera capture library incomplete: %s\n", dlerror());
    dlclose(lib);
    return kMissingLibrary;
}

const CaptureLibrary* g_testLibrary = nullptr;

}  // namespace

const CaptureLibrary& CurrentCaptureLibrary() {
    if (g_testLibrary) return *g_testLibrary;
    static const CaptureLibrary library = LoadCaptureLibrary();
    return library;
}

void SetCaptureLibraryForTesting(const CaptureLibrary* library) { g_testLibrary = library; }

std::string DescribeCameraSource() {
    const CaptureLibrary& lib = CurrentCaptureLibrary();
    if (!lib.DescribeSource) return {};
    char small[512];
    const int n = lib.DescribeSource(small, sizeof small);
    if (n <= 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    const int m = lib.DescribeSource(big.data(), static_cast<int>(big.size()));
    return m > 0 ? std::string(big.data(), std::min(static_cast<size_t>(m), big.size() - 1)) : std::string();
}

}  // namespace tesvano
