// tesvano-cli say and convert with --kind alaw and ulaw, read back by ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

const struct Law {
    const char* kind;
    const char* codec;
} kLaws[] = {{"alaw", "pcm_alaw"}, {"ulaw", "pcm_mulaw"}};

class G711EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ProgramExists("ffmpeg") || !test::ProgramExists("ffprobe")) GTEST_SKIP() << "ffmpeg needed";
    }
    test::TempDir dir;
};

TEST_F(G711EndToEnd, SayWritesTheSpeechAsG711) {
    // The engine speaks the same text the same way: its 8 kHz WAV is the reference.
    const std::string text = "你好，世界。";
    std::string log;
    const std::string wavDir = dir / "wav";
    fs::create_directory(wavDir);
    ASSERT_EQ(test::RunProgram({kCli, "say", text, "--kind", "wav", "--rate", "8000", "--dir", wavDir}, &log), 0);
    std::vector<int16_t> reference;
    ASSERT_TRUE(test::DecodeWithFfmpeg(wavDir + "/你好世界.wav", 8000, &reference));
    for (const auto& law : kLaws) {
        SCOPED_TRACE(law.kind);
        const std::string out = dir / law.kind;
        fs::create_directory(out);
        // Without --rate, and with the window's default of 16000 never used.
        ASSERT_EQ(test::RunProgram({kCli, "say", text, "--kind", law.kind, "--dir", out}, &log), 0) << log;
        const std::string path = out + "/你好世界.wav";
        EXPECT_NE(log.find("PCM "), std::string::npos);
        EXPECT_NE(log.find(":" + path + "\n"), std::string::npos) << log;
        ASSERT_GT(reference.size(), 4000u);
        test::ExpectG711Of(path, law.codec, reference);
    }
}

TEST_F(G711EndToEnd, ConvertWritesEachInputAsG711) {
    // A rising tone through every segment, already 8 kHz mono: what our
    // decoder gives is the file's own samples.
    const std::string ramp = dir / "ramp.wav";
    ASSERT_EQ(test::RunProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                "aevalsrc=0.99*sin(2*PI*300*t)*pow(t/2\\,3):d=2:s=8000", "-c:a", "pcm_s16le", ramp}),
              0);
    std::vector<int16_t> reference;
    ASSERT_TRUE(test::DecodeWithFfmpeg(ramp, 8000, &reference));
    for (const auto& law : kLaws) {
        SCOPED_TRACE(law.kind);
        const std::string out = dir / law.kind;
        fs::create_directory(out);
        std::string log;
        ASSERT_EQ(test::RunProgram({kCli, "convert", ramp, "--kind", law.kind, "--dir", out}, &log), 0) << log;
        ASSERT_GT(reference.size(), 4000u);
        test::ExpectG711Of(out + "/ramp.wav.wav", law.codec, reference);
    }
}

TEST_F(G711EndToEnd, AnotherRateIsAUsageError) {
    const std::string input = dir / "in.wav";
    ASSERT_EQ(test::RunProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=1", input}), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"say", "hello", "--rate", "16000", "--kind", "alaw"},
        {"say", "hello", "--kind", "ulaw", "--rate", "16000"},
        {"convert", input, "--rate", "16000", "--kind", "alaw"},
        {"convert", input, "--kind", "ulaw", "--rate", "16000"},
    };
    const std::string out = dir / "out";
    fs::create_directory(out);
    for (const auto& c : cases) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), c.begin(), c.end());
        argv.insert(argv.end(), {"--dir", out});
        EXPECT_EQ(test::RunProgram(argv), 2) << c[0] << " " << c[2] << " " << c[3];
    }
    EXPECT_TRUE(fs::is_empty(out));
    // --rate 8000 is what these kinds are: allowed.
    EXPECT_EQ(test::RunProgram({kCli, "convert", input, "--rate", "8000", "--kind", "alaw", "--dir", out}), 0);
}

}  // namespace
}  // namespace tesvano
