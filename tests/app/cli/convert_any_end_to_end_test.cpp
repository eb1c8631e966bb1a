// tesvano-cli convert and to-wav on audio that is not MPEG: WAV, FLAC, Ogg,
// M4A, Opus and a video's sound track, all made by ffmpeg at test time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

struct Source {
    const char* name;
    std::vector<std::string> args;  // ffmpeg's output options
};

// Two different tones, left and right, so a wrong downmix shows.
const std::vector<std::string> kStereoTones = {
    "-f", "lavfi", "-i", "sine=f=440:d=3:r=44100,volume=0.5", "-f", "lavfi", "-i", "sine=f=660:d=3:r=44100,volume=0.3",
    "-filter_complex", "amerge", "-ac", "2"};

const Source kSources[] = {
    {"a.wav", {}},
    {"a.flac", {}},
    {"a.ogg", {"-ar", "48000"}},
    {"a.m4a", {}},
    {"a.opus", {"-ar", "48000"}},
};

std::string MakeSource(const test::TempDir& dir, const Source& s) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y"};
    argv.insert(argv.end(), kStereoTones.begin(), kStereoTones.end());
    argv.insert(argv.end(), s.args.begin(), s.args.end());
    argv.push_back(dir / s.name);
    return test::RunProgram(argv) == 0 ? dir / s.name : std::string();
}

class ConvertAnyEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ProgramExists("ffmpeg") || !test::ProgramExists("ffprobe") || !test::ProgramExists("mpg123"))
            GTEST_SKIP() << "ffmpeg, ffprobe and mpg123 needed";
    }
    test::TempDir dir;
};

TEST_F(ConvertAnyEndToEnd, EachFormatBecomesACameraMp3OfItsLength) {
    // Named apart from the input: a.wav → a.wav.mp3.
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const auto& s : kSources) {
        inputs.emplace_back(MakeSource(dir, s), std::string(s.name) + ".mp3");
        ASSERT_FALSE(inputs.back().first.empty()) << s.name;
    }
    // The input's length plus LAME's 1105-sample delay and the last frame's
    // padding (576 samples): 0.105 s at 16 kHz, 0.21 s at 8 kHz at most.
    test::ExpectConvertedToCameraMp3s(kCli, inputs, dir / "out16000", 16000, 0.15);
    test::ExpectConvertedToCameraMp3s(kCli, inputs, dir / "out8000", 8000, 0.25);
}

TEST_F(ConvertAnyEndToEnd, ToWavMatchesFfmpegsOwnMonoDecoding) {
    for (const auto& s : kSources) {
        SCOPED_TRACE(s.name);
        const std::string input = MakeSource(dir, s);
        ASSERT_FALSE(input.empty());
        const std::string out = dir / "wav";
        fs::create_directories(out);
        std::string log;
        ASSERT_EQ(test::RunProgram({kCli, "to-wav", input, "--dir", out}, &log), 0) << log;
        // The decode line counts the PCM and the input file's bytes.
        const std::string wav = out + "/" + s.name + ".wav";
        std::vector<int16_t> ours;
        ASSERT_TRUE(test::DecodeWithFfmpeg(wav, 16000, &ours));
        std::vector<int16_t> theirs;
        ASSERT_TRUE(test::DecodeWithFfmpeg(input, 16000, &theirs));
        ASSERT_GT(theirs.size(), 40000u);
        EXPECT_NE(log.find(" " + std::to_string(ours.size() * 2) + " PCM Bytes, " +
                           std::to_string(fs::file_size(input)) + " MP3 Bytes."),
                  std::string::npos)
            << log;
        // Same libraries, same conversion: the same samples, give or take rounding.
        ASSERT_NEAR(double(ours.size()), double(theirs.size()), 16);
        int worst = 0;
        for (size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i)
            worst = std::max(worst, std::abs(ours[i] - theirs[i]));
        EXPECT_LE(worst, 2);
    }
}

TEST_F(ConvertAnyEndToEnd, VideoGivesItsSoundTrackAndTextGivesNothing) {
    const std::string video = dir / "clip.mp4";
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=d=3:s=64x48:r=10"};
    argv.insert(argv.end(), kStereoTones.begin(), kStereoTones.end() - 4);  // the two tone inputs
    argv.insert(argv.end(), {"-filter_complex", "[1:a][2:a]amerge", "-ac", "2", "-shortest", video});
    ASSERT_EQ(test::RunProgram(argv), 0);
    const std::string text = dir / "notes.txt";
    test::WriteFileBytes(text, {'n', 'o', ' ', 'a', 'u', 'd', 'i', 'o', '\n'});
    const std::string silentVideo = dir / "silent.mp4";
    ASSERT_EQ(test::RunProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=d=1:s=64x48:r=10", silentVideo}),
              0);

    const std::string out = dir / "out";
    fs::create_directory(out);
    std::string log;
    EXPECT_EQ(test::RunProgram({kCli, "convert", video, text, silentVideo, "--dir", out}, &log), 1) << log;
    std::vector<int16_t> got;
    ASSERT_TRUE(test::DecodeWithMpg123(out + "/clip.mp4.mp3", &got));
    EXPECT_NEAR(double(got.size()) / 16000, 3.0, 0.15);
    // Neither the text nor the picture without sound gives a file.
    EXPECT_NE(log.find(" 0 PCM Bytes, 9 MP3 Bytes."), std::string::npos) << log;
    EXPECT_NE(log.find(" 0 PCM Bytes, " + std::to_string(fs::file_size(silentVideo)) + " MP3 Bytes."),
              std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(out + "/notes.txt.mp3"));
    EXPECT_FALSE(fs::exists(out + "/silent.mp4.mp3"));
}

}  // namespace
}  // namespace tesvano
