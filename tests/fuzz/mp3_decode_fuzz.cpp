// libFuzzer target: any bytes as an MP3 file, decoded to 8 kHz and 16 kHz mono
// (one input per rate, chosen by its first byte). Must never crash, hang or
// leak, must hand back an even number of PCM bytes, and nothing at all for a
// file recognised as another container.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "audio/mp3_decoder.h"

namespace {

// The input lives in a memory file, opened by path like any other file.
int MemoryFile() {
    static const int fd = memfd_create("mp3-fuzz", 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = MemoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    const int rate = size > 0 && (data[0] & 1) ? 8000 : 16000;
    tesvano::CAudioDecodeMp3 decoder("/proc/self/fd/" + std::to_string(fd), rate, 1);
    const int rc = decoder.Decode();
    if (size == 0 ? rc != tesvano::kDecodeEmptyFile : rc != tesvano::kDecodeOk) std::abort();
    if (decoder.outputLength() % 2 != 0) std::abort();
    if (decoder.IsOtherContainer() && decoder.outputLength() != 0) std::abort();
    return 0;
}
