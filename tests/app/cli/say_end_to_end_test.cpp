// tesvano-cli say with the real engine and encoder, checked by tools nobody here wrote.
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

struct Said {
    int status = -1;
    std::string log;
    long speechBytes = -1;  // from the synthesis line
    long musicBytes = 0;    // from the music line
};

Said Say(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kCli, "say"};
    argv.insert(argv.end(), args.begin(), args.end());
    Said s;
    s.status = test::RunProgram(argv, &s.log);
    // The lines end in the byte counts: "…<count>." for music, then for speech.
    std::smatch m;
    std::string rest = s.log;
    std::vector<long> counts;
    while (std::regex_search(rest, m, std::regex("(\\d+)\\.\\n"))) {
        counts.push_back(std::stol(m[1]));
        rest = m.suffix();
    }
    if (!counts.empty()) s.speechBytes = counts.back();
    if (counts.size() >= 2) s.musicBytes = counts[counts.size() - 2];
    return s;
}

double Rms(const std::vector<int16_t>& pcm) {
    double sum = 0;
    for (int16_t v : pcm) sum += double(v) * v;
    return pcm.empty() ? 0 : std::sqrt(sum / double(pcm.size()));
}

class SayEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ProgramExists("ffprobe") || !test::ProgramExists("mpg123")) GTEST_SKIP() << "tools missing";
    }
    test::TempDir dir;
};

TEST_F(SayEndToEnd, ChineseTextBecomesACameraMp3) {
    Said s = Say({"你好，世界。", "--dir", dir.str()});
    ASSERT_EQ(s.status, 0) << s.log;
    const std::string path = dir / "你好世界.mp3";
    auto p = test::Probe(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.codec, "mp3");
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.sampleRate, 16000);
    EXPECT_EQ(p.bitRate, 8000);
    EXPECT_EQ(p.title, "for ipcamera");
    std::vector<int16_t> pcm;
    ASSERT_TRUE(test::DecodeWithMpg123(path, &pcm));
    ASSERT_GT(s.speechBytes, 16000);  // more than half a second of speech
    EXPECT_NEAR(double(pcm.size()), double(s.speechBytes / 2), 2304);
    EXPECT_GT(Rms(pcm), 1000.0) << "speech, not silence";
    EXPECT_NE(s.log.find("0003: "), std::string::npos);
    EXPECT_NE(s.log.find(path), std::string::npos);
}

TEST_F(SayEndToEnd, NamesHoldNothingAFileSystemRefuses) {
    const struct {
        const char* text;
        const char* file;
    } cases[] = {
        {"Open 24/7: gate", "Open 247 gate.mp3"},
        {"Attention:\nthis area", "Attentionthis area.mp3"},
        {"<a|b>?*\"\\", "ab.mp3"},
    };
    for (const auto& c : cases) {
        Said s = Say({c.text, "--dir", dir.str()});
        EXPECT_EQ(s.status, 0) << s.log;
        EXPECT_TRUE(test::Probe(dir / c.file).ok) << c.file << "\n" << s.log;
    }
}

TEST_F(SayEndToEnd, BackgroundMusicInEachMode) {
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        test::TempDir out;
        Said s = Say({"Welcome.", "--music", "doorbell.mp3", "--mode", std::to_string(mode), "--dir", out.str()});
        ASSERT_EQ(s.status, 0) << s.log;
        ASSERT_GT(s.musicBytes, 0);
        const long factor[] = {0, 1, 1, 2};
        std::vector<int16_t> pcm;
        ASSERT_TRUE(test::DecodeWithMpg123(out / "Welcome.mp3", &pcm));
        EXPECT_NEAR(double(pcm.size()), double((s.speechBytes + factor[mode] * s.musicBytes) / 2), 2304);
        EXPECT_GT(Rms(pcm), 500.0);
    }
}

TEST_F(SayEndToEnd, WavHeaderMatchesTheFile) {
    Said s = Say({"Hello, world.", "--kind", "wav", "--dir", dir.str(), "--rate", "8000"});
    ASSERT_EQ(s.status, 0) << s.log;
    const auto bytes = test::ReadFileBytes(dir / "Hello world.wav");
    ASSERT_GT(bytes.size(), 44u);
    const uint32_t dataLength = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | uint32_t(bytes[43]) << 24;
    EXPECT_EQ(dataLength, bytes.size() - 44);
    auto p = test::Probe(dir / "Hello world.wav");
    EXPECT_EQ(p.sampleRate, 8000);
    EXPECT_EQ(p.channels, 1);
}

TEST_F(SayEndToEnd, BadInput) {
    EXPECT_EQ(Say({"", "--dir", dir.str()}).status, 1);                 // empty text
    EXPECT_EQ(Say({"x", "--dir", "/proc/self"}).status, 1);            // nobody can write there
    EXPECT_EQ(Say({"x", "--voice", "nobody"}).status, 2);
    EXPECT_EQ(Say({"x", "--music", "nothing.mp3"}).status, 2);
    EXPECT_EQ(Say({"x", "--mode", "4"}).status, 2);
    EXPECT_EQ(Say({"x", "y"}).status, 2);

    // Control characters and an emoji: spoken; the name drops the controls, keeps the emoji whole.
    Said odd = Say({"a\tb\x01 \xF0\x9F\x98\x80 $(touch pwned)", "--dir", dir.str()});
    EXPECT_EQ(odd.status, 0) << odd.log;
    struct stat st;
    EXPECT_EQ(stat((dir / "ab \xF0\x9F\x98\x80 $(touch pwned).mp3").c_str(), &st), 0);
    EXPECT_NE(stat((dir / "pwned").c_str(), &st), 0);
}

#ifndef TESVANO_SANITIZE
TEST_F(SayEndToEnd, HundredThousandCharactersAreSpokenAndWarnedAbout) {
    std::string text;
    const std::string sentence = "The camera sees the gate. ";
    while (text.size() < 100000) text += sentence;
    text.resize(100000);
    Said s = Say({text, "--dir", dir.str()});
    EXPECT_EQ(s.status, 3) << s.log.substr(0, 2000);  // written, larger than a camera takes
    const std::string path = dir / "The camera sees the.mp3";  // no trailing blank
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 40960);
    EXPECT_GT(s.speechBytes, 32000L * 60 * 30);  // far more than half an hour of speech
}
#endif

}  // namespace
}  // namespace tesvano
