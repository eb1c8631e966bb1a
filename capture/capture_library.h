// The camera capture library as the program calls it: its functions reached
// through a table bound at first use, so the library file can be replaced
// (and scripted in tests).
#pragma once

#include <string>

namespace tesvano {

using CaptureCallback = int (*)(const unsigned char* data, unsigned int length, void* user);

struct CaptureLibrary {
    int (*StartAudioCapture)(int sampleRate, int bitsPerSample, int channels, CaptureCallback callback, void* user);
    int (*StopAudioCapture)();
    // The configured source with its password hidden (snprintf-like); may be
    // null in a library that does not offer it.
    int (*DescribeSource)(char* buffer, int size);
    // Opens `source` for at most `seconds`: 0 when audio came, with what it
    // is (codec, rate, level) in *report; else a start result, with the
    // reason. May be null, as above.
    int (*TestSource)(const char* source, int seconds, char* report, int size);
    // The last reason the library reported (snprintf-like); may be null.
    int (*LastError)(char* buffer, int size);
};

// Start results.
enum CaptureResult : int {
    kCaptureOk = 0,
    kCaptureNotFindDevice = -9000002,
    kCaptureOpenFailed = -9000001,
    kCaptureStartFailed = -9000000,
    kCaptureParamError = -8999999,
    kCaptureOutOfMemory = -8999994,
    kCaptureThreadError = -8999990,
    kCaptureAlreadyStarted = -8999986,
};

// The library beside the program (libQuaboNetSdk.so), or on the library
// path. When it cannot be loaded, a start finds no device and the reason is
// printed to standard error once.
const CaptureLibrary& CurrentCaptureLibrary();
// Tests bind their own table; nullptr goes back to the library.
void SetCaptureLibraryForTesting(const CaptureLibrary* library);

// TestSource of the library: true with what the source carries, false with
// the reason (also when the library cannot test).
bool TestCaptureSource(const std::string& source, std::string* report);

// Why the last start failed, as the library said it (or why the library
// could not be loaded); "" when nothing says.
std::string LastCaptureError();

// What TesvanoCameraSource reports: the source, password hidden; "" when
// none is configured or the library cannot tell.
std::string DescribeCameraSource();

}  // namespace tesvano
