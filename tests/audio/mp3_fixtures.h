// MP3 files made at test time by tools nobody here wrote (lame, ffmpeg), and
// the comparison of our decode with mpg123's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tesvano::test {

struct Mp3Recipe {
    const char* name;
    int rate;
    int channels;
    const char* tool;                // "lame" or "ffmpeg"
    std::vector<std::string> args;   // encoder options (bit rate, VBR, tags)
    double seconds = 3.0;
};

bool HaveMp3Tools();
// Speech-like PCM, interleaved; the channels carry different signals.
std::vector<int16_t> MakeSignal(int rate, int channels, double seconds, uint32_t seed = 1);
// Writes the MP3 to `path`; false when the tool failed.
bool MakeMp3(const Mp3Recipe& recipe, const std::string& dir, const std::string& path);

// Index shift `lag` (in values) that best lines `got` up with `ref`
// (got[i] ~ ref[i + lag]), searched within +-maxLag.
long BestLag(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, long maxLag);
// Largest |got[i] - ref[i + lag]| over the overlap; sets *overlap.
int MaxDifference(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, long lag, size_t* overlap);

}  // namespace tesvano::test
