#include "tests/audio/mp3_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano::test {

bool HaveMp3Tools() { return ProgramExists("lame") && ProgramExists("ffmpeg") && ProgramExists("mpg123"); }

std::vector<int16_t> MakeSignal(int rate, int channels, double seconds, uint32_t seed) {
    std::vector<int16_t> out;
    std::vector<std::vector<int16_t>> parts;
    for (int c = 0; c < channels; ++c) parts.push_back(SpeechLikePcm(rate, seconds, seed + uint32_t(c) * 17));
    out.resize(parts[0].size() * size_t(channels));
    for (size_t i = 0; i < parts[0].size(); ++i)
        for (int c = 0; c < channels; ++c) out[i * size_t(channels) + size_t(c)] = parts[size_t(c)][i];
    return out;
}

bool MakeMp3(const Mp3Recipe& recipe, const std::string& dir, const std::string& path) {
    const std::string pcm = dir + "/" + recipe.name + ".pcm";
    WriteFileBytes(pcm, AsBytes(MakeSignal(recipe.rate, recipe.channels, recipe.seconds)));
    std::vector<std::string> argv;
    if (std::string(recipe.tool) == "lame") {
        char khz[16];
        std::snprintf(khz, sizeof khz, "%g", recipe.rate / 1000.0);
        argv = {"lame", "--quiet", "-r", "-s", khz, "--bitwidth", "16", "--signed", "--little-endian",
                "-m", recipe.channels == 1 ? "m" : "j"};
        argv.insert(argv.end(), recipe.args.begin(), recipe.args.end());
        argv.push_back(pcm);
        argv.push_back(path);
    } else {
        argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "s16le", "-ar", std::to_string(recipe.rate),
                "-ac", std::to_string(recipe.channels), "-i", pcm, "-c:a", "libmp3lame"};
        argv.insert(argv.end(), recipe.args.begin(), recipe.args.end());
        argv.push_back(path);
    }
    return RunProgram(argv) == 0;
}

long BestLag(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, long maxLag) {
    // Match a window from the middle of `got` against `ref` at every lag.
    const long n = static_cast<long>(got.size());
    const long window = std::min<long>(4000, n / 4);
    const long start = n / 2 - window / 2;
    long best = 0;
    long long bestCost = -1;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        if (start + lag < 0 || start + lag + window > static_cast<long>(ref.size())) continue;
        long long cost = 0;
        for (long i = start; i < start + window && (bestCost < 0 || cost < bestCost); ++i)
            cost += std::labs(long(got[size_t(i)]) - ref[size_t(i + lag)]);
        if (bestCost < 0 || cost < bestCost) bestCost = cost, best = lag;
    }
    return best;
}

int MaxDifference(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, long lag, size_t* overlap) {
    int worst = 0;
    size_t count = 0;
    for (long i = 0; i < static_cast<long>(got.size()); ++i) {
        const long j = i + lag;
        if (j < 0 || j >= static_cast<long>(ref.size())) continue;
        worst = std::max(worst, std::abs(int(got[size_t(i)]) - ref[size_t(j)]));
        ++count;
    }
    *overlap = count;
    return worst;
}

}  // namespace tesvano::test
