// Decodes a 3-minute 44.1 kHz stereo 128 kbit/s MP3 to 16 kHz mono with
// CAudioDecodeMp3, with ffmpeg and with mpg123, and prints the times and
// their ratios in one line (best of three runs each). The two commands do
// the same work: the whole file to 16 kHz mono PCM in a file.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "audio/mp3_decoder.h"
#include "platform/file.h"

extern char** environ;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 180;

std::vector<int16_t> MakeStereoPcm() {
    std::vector<int16_t> pcm(size_t(kRate) * kSeconds * 2);
    double f0 = 150;
    uint32_t s = 1;
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        if (i % 8820 == 0) {
            s = s * 1664525u + 1013904223u;
            f0 = 110 + (s >> 24) % 220;
        }
        const double t = double(i) / kRate;
        double l = 0, r = 0;
        for (int h = 1; h <= 8; ++h) {
            l += std::sin(2 * M_PI * f0 * h * t) / h;
            r += std::sin(2 * M_PI * f0 * 1.5 * h * t) / h;
        }
        const double env = 0.6 + 0.4 * std::sin(2 * M_PI * 0.5 * t);
        pcm[2 * i] = int16_t(l * env * 9000);
        pcm[2 * i + 1] = int16_t(r * env * 9000);
    }
    return pcm;
}

// Runs a program without a shell, standard output to `out` when given; -1 when it could not run.
double Run(const std::vector<std::string>& args, const std::string& out = "") {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!out.empty()) posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

template <typename F>
double Best(F f) {
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        const double t = f();
        if (t < 0) return -1;
        best = best < 0 ? t : std::min(best, t);
    }
    return best;
}

}  // namespace

int main() {
    char dir[] = "/tmp/tesvano-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string pcmPath = std::string(dir) + "/in.pcm", mp3 = std::string(dir) + "/in.mp3",
                      out = std::string(dir) + "/out.pcm";
    const auto pcm = MakeStereoPcm();
    if (tesvano::WriteWholeFile(pcmPath, {reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2}) !=
        tesvano::WriteStatus::kOk)
        return 1;
    if (Run({"lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed", "--little-endian", "-m", "j",
             "-b", "128", pcmPath, mp3}) < 0) {
        std::fprintf(stderr, "lame is needed to make the test file\n");
        return 1;
    }

    size_t pcmBytes = 0;
    const double ours = Best([&] {
        const auto t0 = std::chrono::steady_clock::now();
        tesvano::CAudioDecodeMp3 decoder(mp3, 16000, 1);
        if (decoder.Decode() != tesvano::kDecodeOk) return -1.0;
        pcmBytes = decoder.outputLength();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    });
    const double ffmpeg = Best([&] {
        return Run({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", mp3, "-ac", "1", "-ar", "16000", "-f",
                    "s16le", out});
    });
    const double mpg123 = Best([&] { return Run({"mpg123", "-q", "-m", "-r", "16000", "-s", mp3}, out); });
    unlink(pcmPath.c_str());
    unlink(mp3.c_str());
    unlink(out.c_str());
    rmdir(dir);

    if (ours < 0) {
        std::fprintf(stderr, "decode failed\n");
        return 1;
    }
    std::printf("decode 3 min 44.1 kHz stereo 128 kbit/s -> 16 kHz mono (%zu bytes): CAudioDecodeMp3 %.3f s", pcmBytes,
                ours);
    if (ffmpeg > 0) std::printf(", ffmpeg %.3f s (ratio %.2f)", ffmpeg, ours / ffmpeg);
    if (mpg123 > 0) std::printf(", mpg123 %.3f s (ratio %.2f)", mpg123, ours / mpg123);
    std::printf(" (targets: ratio to ffmpeg <= 0.90, to mpg123 <= 1.00)\n");
    return 0;
}
