// libFuzzer target: the WAV and raw PCM writers fed PCM of any length (up to
// 128 KiB) at any rate. The first 4 bytes are the rate, the next 3 the length;
// the rest of the input, repeated, is the PCM. The file read back is the
// header for that length and rate followed by the PCM, or the PCM alone.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/wav.h"
#include "platform/trace.h"
#include "tests/fuzz/fuzz_file.h"

namespace {

std::vector<uint8_t> ReadBack(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::abort();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    if (std::ferror(f) || std::fclose(f) != 0) std::abort();
    std::remove(path.c_str());
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) return 0;
    static std::FILE* quiet = std::fopen("/dev/null", "w");
    tesvano::SetTraceStream(quiet);
    uint32_t rate;
    std::memcpy(&rate, data, 4);
    const size_t length = (size_t{data[4]} | size_t{data[5]} << 8 | size_t{data[6]} << 16) & 0x1FFFF;
    std::vector<uint8_t> pcm(length);
    for (size_t i = 0; i < length; ++i) pcm[i] = size > 7 ? data[7 + i % (size - 7)] : 0;

    const std::string& dir = tesvano::fuzz::Folder();
    if (tesvano::WriteWavFile(dir + "/clip.wav", rate, pcm) != tesvano::WriteStatus::kOk) std::abort();
    const std::vector<uint8_t> wav = ReadBack(dir + "/clip.wav");
    if (wav.size() != sizeof(tesvano::WavHeader) + length) std::abort();
    tesvano::WavHeader h;
    std::memcpy(&h, wav.data(), sizeof h);
    if (std::memcmp(h.riffId, "RIFF", 4) != 0 || std::memcmp(h.waveId, "WAVE", 4) != 0 ||
        std::memcmp(h.fmtId, "fmt ", 4) != 0 || std::memcmp(h.dataId, "data", 4) != 0)
        std::abort();
    if (h.riffSize != length + 36 || h.dataSize != length || h.samplesPerSec != rate || h.channels != 1 ||
        h.bitsPerSample != 16 || h.blockAlign != 2 || h.avgBytesPerSec != uint32_t(uint64_t{rate} * 2) ||
        h.fmtSize != 16 || h.formatTag != 1)
        std::abort();
    if (!std::equal(pcm.begin(), pcm.end(), wav.begin() + sizeof h)) std::abort();

    if (tesvano::WritePcmFile(dir + "/clip.pcm", pcm) != tesvano::WriteStatus::kOk) std::abort();
    if (ReadBack(dir + "/clip.pcm") != pcm) std::abort();
    return 0;
}
