#include "speech/synthesis.h"

#include <cmath>
#include <new>

#include "speech/voice_table.h"

namespace tesvano {

bool SynthesisBuffer::Allocate() {
    try {
        pcm_.reserve(kStep);
    } catch (const std::bad_alloc&) {
        return false;
    }
    capacity_ = kStep;
    return true;
}

bool SynthesisBuffer::Append(const void* data, size_t length) {
    if (pcm_.size() + length > capacity_) {
        size_t wanted = capacity_;
        while (pcm_.size() + length > wanted) wanted += kStep;
        try {
            pcm_.reserve(wanted);
        } catch (const std::bad_alloc&) {
            return false;
        }
        capacity_ = wanted;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    pcm_.insert(pcm_.end(), p, p + length);
    return true;
}

double PaceAtSpeed(int speed) { return std::exp2((speed - kNormalSpeed) / 50.0); }

std::string BuildSessionParams(int voiceIndex, int sampleRate, int speed) {
    // An index outside the table (no selection reads as 0) falls back to the first voice.
    const size_t i = voiceIndex >= 0 && static_cast<size_t>(voiceIndex) < kVoiceTable.size()
                         ? static_cast<size_t>(voiceIndex)
                         : 0;
    return std::string("voice_name =") + kVoiceTable[i].voiceName + ", text_encoding = gb2312, sample_rate = " +
           std::to_string(sampleRate) + ", speed = " + std::to_string(speed) +
           ", volume = 50, pitch = 50, rdn = 2";
}

}  // namespace tesvano
