#include "capture/capture_library.h"

#include <cstdio>
#include <algorithm>
#include <dlfcn.h>
#include <vector>

#include "platform/library.h"
#include "platform/text.h"

namespace tesvano {
namespace {

int MissingStart(int, int, int, CaptureCallback, void*) { return kCaptureNotFindDevice; }
int MissingStop() { return 0; }

constexpr CaptureLibrary kMissingLibrary = {MissingStart, MissingStop, nullptr, nullptr, nullptr};
std::string g_loadError;  // why the library is missing, set once before first use

CaptureLibrary LoadCaptureLibrary() {
    void* lib = OpenLibraryBesideProgram("libQuaboNetSdk.so");
    if (!lib) {
        g_loadError = std::string("camera capture library not available: ") + dlerror();
        std::fprintf(stderr, "%s\n", g_loadError.c_str());
        return kMissingLibrary;
    }
    CaptureLibrary c{};
    if (BindSymbol(lib, "QUABO_NETSDK_IPC_StartAudioCapture", &c.StartAudioCapture) &&
        BindSymbol(lib, "QUABO_NETSDK_IPC_StopAudioCapture", &c.StopAudioCapture)) {
        if (!BindSymbol(lib, "TesvanoCameraSource", &c.DescribeSource)) c.DescribeSource = nullptr;
        if (!BindSymbol(lib, "TesvanoCameraTest", &c.TestSource)) c.TestSource = nullptr;
        if (!BindSymbol(lib, "TesvanoCameraLastError", &c.LastError)) c.LastError = nullptr;
        return c;
    }
    g_loadError = std::string("camera capture library incomplete: ") + dlerror();
    std::fprintf(stderr, "%s\n", g_loadError.c_str());
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

bool TestCaptureSource(const std::string& source, std::string* report) {
    const CaptureLibrary& lib = CurrentCaptureLibrary();
    if (!lib.TestSource) {
        *report = "the camera capture library cannot test a source";
        return false;
    }
    constexpr int kTestSeconds = 5;
    char text[1024] = {};
    const int result = lib.TestSource(source.c_str(), kTestSeconds, text, sizeof text);
    *report = text;
    return result == kCaptureOk;
}

std::string LastCaptureError() {
    const CaptureLibrary& lib = CurrentCaptureLibrary();
    if (!lib.LastError) return g_testLibrary ? std::string() : g_loadError;
    return StringFromSizedCall(lib.LastError);
}

std::string DescribeCameraSource() {
    const CaptureLibrary& lib = CurrentCaptureLibrary();
    if (!lib.DescribeSource) return {};
    return StringFromSizedCall(lib.DescribeSource);
}

}  // namespace tesvano
