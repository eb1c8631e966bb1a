// Encodes 10 minutes of 16 kHz speech-like PCM with CMp3Encoder and with the
// lame command-line encoder (same settings), and prints both times and their ratio.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "audio/mp3_encoder.h"
#include "platform/file.h"

extern char** environ;

namespace {

std::vector<int16_t> MakePcm(int rate, int seconds) {
    std::vector<int16_t> pcm(size_t(rate) * seconds);
    double f0 = 150;
    uint32_t s = 1;
    for (size_t i = 0; i < pcm.size(); ++i) {
        if (i % 3200 == 0) {
            s = s * 1664525u + 1013904223u;
            f0 = 110 + (s >> 24) % 120;
        }
        double t = double(i) / rate, v = 0;
        for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * f0 * h * t) / h;
        pcm[i] = int16_t(v * 0.35 * (0.5 - 0.5 * std::cos(2 * M_PI * 5 * t)) * 20000);
    }
    return pcm;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
    const int rate = 16000;
    auto pcm = MakePcm(rate, 600);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t length = pcm.size() * 2;

    auto t0 = std::chrono::steady_clock::now();
    tesvano::CMp3Encoder enc(rate);
    if (enc.Encode(bytes, length) != 1) {
        std::fprintf(stderr, "encode failed\n");
        return 1;
    }
    double ours = Seconds(std::chrono::steady_clock::now() - t0);

    char dir[] = "/tmp/tesvano-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string in = std::string(dir) + "/in.pcm", out = std::string(dir) + "/out.mp3";
    if (tesvano::WriteWholeFile(in, {bytes, length}) != tesvano::WriteStatus::kOk) return 1;
    const char* argv[] = {"lame", "--quiet", "-r", "-s", "16", "--bitwidth", "16", "--signed", "--little-endian",
                          "-m", "m", "-b", "8", "--cbr", "-q", "7", in.c_str(), out.c_str(), nullptr};
    t0 = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, "lame", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        std::printf("CMp3Encoder: %.3f s for 600 s of audio (lame not found)\n", ours);
        return 0;
    }
    int status;
    waitpid(pid, &status, 0);
    double lame = Seconds(std::chrono::steady_clock::now() - t0);
    unlink(in.c_str());
    unlink(out.c_str());
    rmdir(dir);
    std::printf("encode 10 min 16 kHz mono -> 8 kbit/s: CMp3Encoder %.3f s, lame %.3f s, ratio %.2f (target <= 1.10)\n",
                ours, lame, ours / lame);
    return 0;
}
