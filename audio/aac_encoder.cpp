#include "audio/aac_encoder.h"

#include <algorithm>

#include "audio/any_audio.h"
#include "audio/ffmpeg_module.h"

namespace tesvano {
namespace {

// An AAC-LC frame never holds more than 6144 bits per channel.
constexpr size_t kMaxUnitBytes = 6144 / 8;

}  // namespace

AacEncoder::~AacEncoder() {
    if (encoder_) module_->aacClose(encoder_);
}

bool AacEncoder::Open(int rate, std::string* reason) {
    module_ = FfmpegModuleTable(reason);
    if (!module_) return false;
    // Two bits a sample: clear speech, and far below what a camera's
    // connection carries.
    const int bitRate = std::clamp(rate * 2, 16000, 64000);
    char why[256] = {0};
    encoder_ = module_->aacOpen(rate, bitRate, &frameSamples_, why, sizeof why);
    if (!encoder_) {
        *reason = why;
        frameSamples_ = 0;
        return false;
    }
    return true;
}

bool AacEncoder::Send(const uint8_t* samples) {
    return encoder_ && module_->aacSend(encoder_, samples, frameSamples_) == 0;
}

int AacEncoder::Receive(std::vector<uint8_t>* unit) {
    if (!encoder_) return -1;
    unit->resize(kMaxUnitBytes);
    size_t bytes = 0;
    const int got = module_->aacReceive(encoder_, unit->data(), unit->size(), &bytes);
    unit->resize(got == 1 ? bytes : 0);
    return got;
}

}  // namespace tesvano
