// The camera capture library as the program calls it: its functions reached
// through a table bound at first use, so the library file can be replaced
// (and scripted in tests).
#pragma once

#include <string>

#include "sdk/camera/quabo_netsdk.h"

namespace tesvano {

using CaptureCallback = QUABO_NETSDK_AudioCallback;

// The library's functions as its header declares them; the last three are
// this program's own and may be missing from a replacement library (null).
struct CaptureLibrary {
    decltype(&QUABO_NETSDK_IPC_StartAudioCapture) StartAudioCapture;
    decltype(&QUABO_NETSDK_IPC_StopAudioCapture) StopAudioCapture;
    // The configured source with its password hidden (snprintf-like).
    decltype(&TesvanoCameraSource) DescribeSource;
    // Opens a source for at most some seconds: 0 when audio came, with what
    // it is (codec, rate, level) in the report; else a start result, with the reason.
    decltype(&TesvanoCameraTest) TestSource;
    // The last reason the library reported (snprintf-like).
    decltype(&TesvanoCameraLastError) LastError;
};

// Start results.
enum CaptureResult : int {
    kCaptureOk = QUABO_NETSDK_OK,
    kCaptureNotFindDevice = QUABO_NETSDK_ERR_NOT_FIND_DEVICE,
    kCaptureOpenFailed = QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE,
    kCaptureStartFailed = QUABO_NETSDK_ERR_START_AUDIOCAPTURE,
    kCaptureParamError = QUABO_NETSDK_ERR_AUDIO_PARAM,
    kCaptureOutOfMemory = QUABO_NETSDK_ERR_OUT_OF_MEMORY,
    kCaptureThreadError = QUABO_NETSDK_ERR_START_THREAD,
    kCaptureAlreadyStarted = QUABO_NETSDK_ERR_ALREADY_CAPTURING,
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
