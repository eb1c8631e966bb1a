// libFuzzer target: any bytes as camera.conf. The source found is its first
// line that is neither blank nor a comment, trimmed; classifying it and
// masking its passwords must never crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sdk/camera/source.h"
#include "tests/fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    camera::ConfigPlaces places;
    places.userFile = tesvano::fuzz::WriteInput("camera.conf", data, size);
    std::string source;
    std::string error;
    switch (camera::FindSource(places, &source, &error)) {
        case camera::ConfigResult::kUnreadable: std::abort();
        case camera::ConfigResult::kNone: return 0;
        case camera::ConfigResult::kFound: break;
    }
    if (source.empty() || source[0] == '#' || source.find('\n') != std::string::npos) std::abort();
    const camera::Source s = camera::ClassifySource(source);
    if (s.url != source) std::abort();
    camera::MaskPasswords(source);
    return 0;
}
