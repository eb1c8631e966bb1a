#include "tests/support/scripted_capture.h"

#include <algorithm>

namespace tesvano::test {

ScriptedCapture* ScriptedCapture::current_ = nullptr;

ScriptedCapture::ScriptedCapture() {
    current_ = this;
    SetCaptureLibraryForTesting(&table_);
}

ScriptedCapture::~ScriptedCapture() {
    if (delivery_.joinable()) delivery_.join();
    SetCaptureLibraryForTesting(nullptr);
    current_ = nullptr;
}

void ScriptedCapture::Deliver(const std::vector<uint8_t>& pcm, size_t blockBytes) {
    for (size_t at = 0; at < pcm.size(); at += blockBytes)
        blocks.emplace_back(pcm.begin() + at, pcm.begin() + std::min(pcm.size(), at + blockBytes));
}

int ScriptedCapture::Start(int rate, int bits, int channels, CaptureCallback cb, void* user) {
    current_->startArgs = {rate, bits, channels};
    if (current_->startResult != 0) return current_->startResult;
    current_->delivery_ = std::thread([cb, user, blocks = current_->blocks] {
        for (const auto& b : blocks) cb(b.data(), static_cast<unsigned>(b.size()), user);
    });
    return 0;
}

int ScriptedCapture::Stop() {
    ++current_->stops;
    if (current_->delivery_.joinable()) current_->delivery_.join();
    return 0;
}

}  // namespace tesvano::test
