// Times `tesvano-cli say` for a 20-character Chinese sentence, whole process,
// against the pipeline a person would build from stock tools: espeak-ng to a
// WAV, sox to 16 kHz mono, lame to mono CBR 8 kbit/s. Then the start-up of
// `tesvano-cli --help` and of the window (to its first painted frame,
// offscreen) beside `espeak-ng --version`. Prints medians and ratios.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/timing.h"

namespace {

using tesvano::bench::Run;

constexpr char kText[] = "欢迎光临，您已进入视频监控区域，请注意安全。";  // 20 characters and marks
constexpr int kRuns = 40;

}  // namespace

int main(int argc, char** argv) {
    std::string bin = argc > 1 ? argv[1] : ".";
    char dir[] = "/tmp/tesvano-say-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string d = dir;
    setenv("TESVANO_NO_DESKTOP_OPEN", "1", 1);

    double ours = tesvano::bench::MedianMs(kRuns, [&] { return Run({bin + "/tesvano-cli", "say", kText, "--dir", d}); });
    double pipeline = tesvano::bench::MedianMs(kRuns, [&] {
        return Run({"espeak-ng", "-v", "cmn", "-w", d + "/a.wav", kText}) &&
               Run({"sox", d + "/a.wav", "-r", "16000", "-c", "1", d + "/b.wav"}) &&
               Run({"lame", "--quiet", "-m", "m", "-b", "8", "--cbr", d + "/b.wav", d + "/c.mp3"});
    });
    std::string cleanup[] = {"a.wav", "b.wav", "c.mp3"};
    for (auto& f : cleanup) unlink((d + "/" + f).c_str());
    // The clip tesvano-cli wrote is named after the text.
    std::string clip = d + "/欢迎光临您已进入视频监控区域请注意安全.mp3";
    unlink(clip.c_str());
    rmdir(dir);

    if (ours < 0) {
        std::fprintf(stderr, "tesvano-cli say failed\n");
        return 1;
    }
    if (pipeline < 0) {
        std::printf("tesvano-cli say: %.1f ms (median of %d); espeak-ng/sox/lame not all available\n", ours, kRuns);
    } else {
        std::printf("say 20 Chinese characters to a camera MP3, whole process: tesvano-cli %.1f ms, "
                    "espeak-ng | sox | lame %.1f ms, ratio %.2f (targets: <= 0.75 and < 200 ms)\n",
                    ours, pipeline, ours / pipeline);
    }

    // Start-up: the console's usage text, and the window offscreen until its
    // first frame is painted (it quits then, on TESVANO_QUIT_AFTER_FIRST_FRAME).
    const double help = tesvano::bench::MedianMs(kRuns, [&] { return Run({bin + "/tesvano-cli", "--help"}); });
    const double espeak = tesvano::bench::MedianMs(kRuns, [] { return Run({"espeak-ng", "--version"}); });
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TESVANO_QUIT_AFTER_FIRST_FRAME", "1", 1);
    const bool haveWindow = access((bin + "/tesvano").c_str(), X_OK) == 0;
    const double window =
        haveWindow ? tesvano::bench::MedianOf(kRuns, [&] { return tesvano::bench::MsToFirstLine({bin + "/tesvano"}); })
                   : -1;
    if (help < 0) {
        std::fprintf(stderr, "tesvano-cli --help failed\n");
        return 1;
    }
    if (espeak < 0) {
        std::printf("start-up: tesvano-cli --help %.1f ms (median of %d, target <= 6 ms); no espeak-ng\n", help, kRuns);
    } else {
        std::printf("start-up, median of %d: tesvano-cli --help %.1f ms, espeak-ng --version %.1f ms, ratio %.2f "
                    "(target <= 6 ms)\n",
                    kRuns, help, espeak, help / espeak);
        if (window >= 0)
            std::printf("start-up, median of %d: window to its first frame (offscreen) %.1f ms, "
                        "espeak-ng --version %.1f ms, ratio %.1f (target <= 150 ms)\n",
                        kRuns, window, espeak, window / espeak);
    }
    if (haveWindow && window < 0) {
        std::fprintf(stderr, "the window did not show a frame\n");
        return 1;
    }
    return 0;
}
