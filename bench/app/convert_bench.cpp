// Times `tesvano-cli convert` on 40 three-minute 44.1 kHz stereo MP3s against
// what a person would otherwise run: ffmpeg once per file, one after another
// (ffmpeg -i x.mp3 -ac 1 -ar 16000 -b:a 8k x.out.mp3). One run of each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/timing.h"

namespace {

using tesvano::bench::Run;

namespace fs = std::filesystem;
constexpr int kFiles = 40;

template <typename F>
double Seconds(F&& once) {
    const auto start = std::chrono::steady_clock::now();
    if (!once()) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string bin = argc > 1 ? argv[1] : ".";
    char dirName[] = "/tmp/tesvano-convert-bench-XXXXXX";
    if (!mkdtemp(dirName)) return 1;
    const fs::path dir = dirName;
    setenv("TESVANO_NO_DESKTOP_OPEN", "1", 1);

    // Music-like material: two tones and some noise, different per channel.
    const fs::path first = dir / "in00.mp3";
    if (!Run({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
              "aevalsrc=0.3*sin(2*PI*220*t)+0.2*sin(2*PI*331*t)+0.05*random(0)|0.3*sin(2*PI*277*t)+0.05*random(1):"
              "s=44100:d=180",
              "-c:a", "libmp3lame", "-b:a", "128k", first})) {
        std::printf("convert: ffmpeg not available\n");
        fs::remove_all(dir);
        return 0;
    }
    std::vector<std::string> inputs;
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "in%02d.mp3", i);
        if (i > 0) fs::copy_file(first, dir / name);
        inputs.push_back(dir / name);
    }
    fs::create_directory(dir / "one");
    fs::create_directory(dir / "all");
    auto convert = [&](const std::string& out, const char* jobs) {
        std::vector<std::string> args = {bin + "/tesvano-cli", "convert", "--dir", out};
        if (jobs) args.insert(args.end(), {"--jobs", jobs});
        args.insert(args.end(), inputs.begin(), inputs.end());
        return Run(args, 3);  // three minutes is far above a camera's limit: exit status 3
    };
    const double one = Seconds([&] { return convert(dir / "one", "1"); });
    const double all = Seconds([&] { return convert(dir / "all", nullptr); });
    const double loop = Seconds([&] {
        for (const auto& in : inputs)
            if (!Run({"ffmpeg", "-nostdin", "-y", "-i", in, "-ac", "1", "-ar", "16000", "-b:a", "8k", in + ".out.mp3"}))
                return false;
        return true;
    });
    fs::remove_all(dir);
    if (one < 0 || all < 0 || loop < 0) {
        std::fprintf(stderr, "convert benchmark failed\n");
        return 1;
    }
    std::printf("convert %d three-minute 44.1 kHz stereo MP3s to camera MP3s: tesvano-cli --jobs 1 %.2f s, "
                "default jobs (%u cores) %.2f s, ffmpeg per file %.2f s; ffmpeg/ours %.2f and %.2f "
                "(targets: >= 1.5 and >= 3.0)\n",
                kFiles, one, std::thread::hardware_concurrency(), all, loop, loop / one, loop / all);
    return 0;
}
