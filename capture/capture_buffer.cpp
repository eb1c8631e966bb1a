#include "capture/capture_buffer.h"

#include <new>
#include <stdexcept>

namespace tesvano {

void CaptureBuffer::Append(const uint8_t* data, size_t length) {
    if (length == 0) return;
    const uint64_t needed = pcm_.size() + length;
    if (needed > pcm_.capacity()) {
        uint64_t wanted = pcm_.capacity() == 0 ? kStep : pcm_.capacity();
        while (wanted < needed) wanted += kStep;
        if (wanted > limit_) {
            lost_ = true;
            return;
        }
        try {
            pcm_.reserve(wanted);  // exactly this much: the block grows by whole steps
        } catch (const std::bad_alloc&) {
            lost_ = true;
            return;
        } catch (const std::length_error&) {
            lost_ = true;
            return;
        }
    }
    pcm_.insert(pcm_.end(), data, data + length);
}

void CaptureBuffer::Reset() {
    pcm_.clear();
    lost_ = false;
}

void CaptureBuffer::Release() {
    PcmBuffer().swap(pcm_);
    lost_ = false;
}

}  // namespace tesvano
