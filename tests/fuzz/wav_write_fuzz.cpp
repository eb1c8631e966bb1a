// libFuzzer target: the WAV, raw PCM and G.711 writers fed PCM of any length
// (up to 128 KiB) at any rate. The first 4 bytes are the rate, the next 3 the
// length; the rest of the input, repeated, is the PCM. The file read back is
// the header for that length and rate followed by the PCM, or the PCM alone;
// the G.711 file (law from the rate's low bit) decodes back near the PCM.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/g711.h"
#include "audio/pcm.h"
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

uint32_t Le32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

// The textbook expansions, written apart from the encoder.
int ExpandALaw(uint8_t a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    t += seg == 0 ? 8 : 0x108;
    if (seg > 1) t <<= seg - 1;
    return a & 0x80 ? t : -t;
}

int ExpandMuLaw(uint8_t u) {
    u = static_cast<uint8_t>(~u);
    const int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return u & 0x80 ? 0x84 - t : t - 0x84;
}

void CheckG711(const std::string& path, bool alaw, const std::vector<uint8_t>& pcm) {
    const auto law = alaw ? tesvano::G711Law::kALaw : tesvano::G711Law::kMuLaw;
    if (tesvano::WriteG711WavFile(path, law, pcm) != tesvano::WriteStatus::kOk) std::abort();
    const std::vector<uint8_t> wav = ReadBack(path);
    const size_t samples = pcm.size() / 2;
    const size_t padded = samples + (samples & 1);
    if (wav.size() != 58 + padded) std::abort();
    const uint8_t* h = wav.data();
    if (std::memcmp(h, "RIFF", 4) != 0 || Le32(h + 4) != 50 + padded || std::memcmp(h + 8, "WAVEfmt ", 8) != 0 ||
        Le32(h + 16) != 18 || h[20] != (alaw ? 6 : 7) || h[21] != 0 || h[22] != 1 || Le32(h + 24) != 8000 ||
        Le32(h + 28) != 8000 || h[32] != 1 || h[34] != 8 || std::memcmp(h + 38, "fact", 4) != 0 ||
        Le32(h + 46) != samples || std::memcmp(h + 50, "data", 4) != 0 || Le32(h + 54) != samples)
        std::abort();
    if (padded != samples && wav.back() != 0) std::abort();
    for (size_t i = 0; i < samples; ++i) {
        const int sample = tesvano::LoadSample(pcm.data() + 2 * i);
        const int back = alaw ? ExpandALaw(h[58 + i]) : ExpandMuLaw(h[58 + i]);
        if (std::abs(back - sample) > std::abs(sample) / 16 + 16) std::abort();
    }
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

    CheckG711(dir + "/clip-g711.wav", rate & 1, pcm);
    return 0;
}
