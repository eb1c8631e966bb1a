#include <gtest/gtest.h>
#include "tests/support/audio_tools.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tesvano::test {

std::vector<int16_t> SpeechLikePcm(int sampleRate, double seconds, uint32_t seed) {
    const size_t n = static_cast<size_t>(sampleRate * seconds);
    std::vector<int16_t> out(n);
    uint32_t state = seed * 2654435761u + 1;
    double f0 = 140.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        if (i % static_cast<size_t>(sampleRate / 5 + 1) == 0) {  // a new "syllable"
            state = state * 1664525u + 1013904223u;
            f0 = 110.0 + (state >> 24) % 120;
        }
        const double env = 0.5 - 0.5 * std::cos(2 * M_PI * 5.0 * t);
        double v = 0;
        for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * f0 * h * t) / h;
        state = state * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(state >> 16) / 65536.0 - 0.5) * 0.05;
        out[i] = static_cast<int16_t>(std::lround((v * 0.35 * env + noise) * 20000.0));
    }
    return out;
}

std::vector<uint8_t> AsBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

namespace {
std::string Field(const std::string& text, const std::string& key) {
    size_t p = text.find("\n" + key + "=");
    if (p == std::string::npos) {
        if (text.rfind(key + "=", 0) != 0) return {};
        p = 0;
    } else {
        p += 1;
    }
    p += key.size() + 1;
    size_t e = text.find('\n', p);
    return text.substr(p, e == std::string::npos ? std::string::npos : e - p);
}
}  // namespace

ProbeResult Probe(const std::string& path) {
    ProbeResult r;
    std::string out;
    int rc = RunProgram({"ffprobe", "-v", "error", "-show_entries",
                         "stream=codec_name,channels,sample_rate,bit_rate:format=duration:format_tags=title:stream_tags=title",
                         "-of", "default=noprint_wrappers=1", path},
                        &out);
    if (rc != 0) return r;
    out = "\n" + out;
    r.codec = Field(out, "codec_name");
    r.channels = std::atoi(Field(out, "channels").c_str());
    r.sampleRate = std::atoi(Field(out, "sample_rate").c_str());
    r.bitRate = std::atol(Field(out, "bit_rate").c_str());
    r.title = Field(out, "TAG:title");
    r.duration = std::atof(Field(out, "duration").c_str());
    r.ok = !r.codec.empty();
    return r;
}

bool DecodeWithMpg123(const std::string& path, std::vector<int16_t>* samples, bool mono) {
    std::string out;
    std::vector<std::string> argv = {"mpg123", "-q", "--no-gapless", "-s"};
    if (mono) argv.push_back("-m");
    argv.push_back(path);
    if (RunProgram(argv, &out) != 0) return false;
    samples->resize(out.size() / 2);
    std::memcpy(samples->data(), out.data(), samples->size() * 2);
    return true;
}

bool DecodeWithFfmpeg(const std::string& path, int rate, std::vector<int16_t>* samples) {
    std::string out;
    if (RunProgram({"ffmpeg", "-v", "error", "-i", path, "-ac", "1", "-ar", std::to_string(rate), "-f", "s16le", "-"},
                   &out) != 0)
        return false;
    samples->resize(out.size() / 2);
    std::memcpy(samples->data(), out.data(), samples->size() * 2);
    return true;
}

int G711Step(bool aLaw, int sample) {
    const unsigned magnitude = static_cast<unsigned>(sample < 0 ? -sample : sample);
    if (aLaw) return magnitude < 512 ? 16 : 1 << (static_cast<int>(std::bit_width(magnitude)) - 5);
    // µ-law segments are octaves of the 14-bit magnitude plus 33; the 14
    // bits are the sample shifted down, so negative values round away from 0.
    const unsigned m14 = static_cast<unsigned>(sample >= 0 ? sample >> 2 : -(sample >> 2));
    const int segment = std::clamp(static_cast<int>(std::bit_width(m14 + 33)) - 6, 0, 7);
    return 8 << segment;
}

void ExpectCameraMp3Of(const std::string& converted, const std::string& input, int rate, double maxExtra) {
    const auto probe = Probe(converted);
    EXPECT_EQ(probe.codec, "mp3");
    EXPECT_EQ(probe.channels, 1);
    EXPECT_EQ(probe.sampleRate, rate);
    EXPECT_EQ(probe.bitRate, 8000);
    std::vector<int16_t> got;
    ASSERT_TRUE(DecodeWithMpg123(converted, &got));
    const double extra = double(got.size()) / rate - Probe(input).duration;
    EXPECT_GE(extra, 0.0);
    EXPECT_LE(extra, maxExtra);
}

void ExpectG711Of(const std::string& path, const std::string& codec, const std::vector<int16_t>& reference) {
    const auto probe = Probe(path);
    EXPECT_EQ(probe.codec, codec);
    EXPECT_EQ(probe.sampleRate, 8000);
    EXPECT_EQ(probe.channels, 1);
    std::vector<int16_t> decoded;
    ASSERT_TRUE(DecodeWithFfmpeg(path, 8000, &decoded));
    ASSERT_EQ(decoded.size(), reference.size());
    const bool aLaw = codec == "pcm_alaw";
    int outside = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const int step = G711Step(aLaw, reference[i]);
        if (std::abs(decoded[i] - reference[i]) > step && ++outside <= 5)
            ADD_FAILURE() << reference[i] << " came back as " << decoded[i] << ", step " << step;
    }
    EXPECT_EQ(outside, 0);
}

void ExpectConvertedToCameraMp3s(const std::string& cli,
                                 const std::vector<std::pair<std::string, std::string>>& inputsAndOutputs,
                                 const std::string& outDir, int rate, double maxExtra) {
    SCOPED_TRACE(rate);
    std::filesystem::create_directory(outDir);
    std::vector<std::string> argv = {cli, "convert", "--dir", outDir, "--rate", std::to_string(rate), "--jobs", "2"};
    for (const auto& [input, output] : inputsAndOutputs) argv.push_back(input);
    std::string log;
    ASSERT_EQ(RunProgram(argv, &log), 0) << log;
    for (const auto& [input, output] : inputsAndOutputs) {
        SCOPED_TRACE(input);
        ExpectCameraMp3Of(outDir + "/" + output, input, rate, maxExtra);
    }
}

}  // namespace tesvano::test
