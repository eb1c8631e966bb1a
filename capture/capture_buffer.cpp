#include "capture/capture_buffer.h"

#include <cstdlib>
#include <cstring>

namespace tesvano {

CaptureBuffer::~CaptureBuffer() { std::free(data_); }

bool CaptureBuffer::Resize(uint64_t capacity) {
    if (capacity > limit_ || capacity > SIZE_MAX) return false;
    void* grown = std::realloc(data_, static_cast<size_t>(capacity));
    if (!grown) return false;
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
    return true;
}

void CaptureBuffer::Append(const uint8_t* data, size_t length) {
    if (length == 0) return;
    const uint64_t needed = size_ + length;
    if (needed > capacity_) {
        uint64_t wanted = capacity_ == 0 ? kStep : capacity_;
        while (wanted < needed) wanted += kStep;
        if (!Resize(wanted)) {
            lost_ = true;
            return;
        }
    }
    std::memcpy(data_ + size_, data, length);
    size_ = needed;
}

void CaptureBuffer::Reset() {
    size_ = 0;
    lost_ = false;
}

void CaptureBuffer::Release() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    lost_ = false;
}

bool CaptureBuffer::Replace(const PcmBuffer& pcm) {
    if (pcm.empty()) return false;
    if (pcm.size() != capacity_ && !Resize(pcm.size())) return false;
    std::memcpy(data_, pcm.data(), pcm.size());
    size_ = pcm.size();
    return true;
}

}  // namespace tesvano
