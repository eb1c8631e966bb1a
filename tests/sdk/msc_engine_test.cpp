// The engine's inner parts: parameter strings, text decoding, script runs and
// the resampler with its gain.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>

#include "sdk/msc/msc.h"
#include "sdk/msc/params.h"
#include "sdk/msc/speaker.h"
#include "sdk/msc/text_input.h"
#include "sdk/msc/voices.h"
#include "sdk/printable.h"

namespace {

using msc::Script;

TEST(MscParams, ProgramStringsAndVariants) {
    struct Case {
        const char* text;
        int error;
        const char* voice;
        int rate;
        int speed;
    } cases[] = {
        {"voice_name =xiaoyan, text_encoding = gb2312, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 2",
         MSP_SUCCESS, "xiaoyan", 16000, 50},
        {"voice_name = xiaorong, text_encoding = gb2312, sample_rate = 8000, speed = 50, volume = 50, pitch = 50, rdn = 2",
         MSP_SUCCESS, "xiaorong", 8000, 50},
        {"voice_name =vixl xiaolin,sample_rate=8000", MSP_SUCCESS, "vixl xiaolin", 8000, 50},
        {"VOICE_NAME = henry , speed = 0,, ", MSP_SUCCESS, "henry", 16000, 0},
        {"voice_name = a = b", MSP_SUCCESS, "a = b", 16000, 50},
        {"voice_name = x, speed = 50.5", MSP_ERROR_INVALID_PARA, "", 0, 0},
        {"voice_name = x, = 3", MSP_ERROR_INVALID_PARA, "", 0, 0},
        {"voice_name = x, sample_rate = 16000 Hz", MSP_ERROR_UNSUPPORTED_RATE, "", 0, 0},
        {"voice_name = x, sample_rate = 22050", MSP_ERROR_UNSUPPORTED_RATE, "", 0, 0},
    };
    for (const auto& c : cases) {
        msc::SessionParams p;
        EXPECT_EQ(msc::ParseSessionParams(c.text, &p), c.error) << c.text;
        if (c.error != MSP_SUCCESS) continue;
        EXPECT_EQ(p.voiceName, c.voice) << c.text;
        EXPECT_EQ(p.sampleRate, c.rate) << c.text;
        EXPECT_EQ(p.speed, c.speed) << c.text;
    }
}

TEST(MscText, Utf8Validity) {
    struct Case {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"plain", true},           {"今天", true},           {"\xF0\x9F\x98\x80", true},
        {"\xC0\xAF", false},       {"\xE0\x80\xAF", false},  {"\xED\xA0\x80", false},  // overlong, surrogate
        {"\xF4\x90\x80\x80", false}, {"\xE4\xBB", false},    {"\xC4\xE3\xBA\xC3", false},  // 你好 in GB2312
    };
    for (const auto& c : cases) EXPECT_EQ(msc::IsValidUtf8(c.bytes), c.valid) << c.bytes;
}

TEST(MscParams, DeclaredTextEncoding) {
    using E = msc::TextEncoding;
    const std::pair<const char*, E> cases[] = {
        {"", E::kAuto}, {", text_encoding = gb2312", E::kGb18030}, {", text_encoding = GBK", E::kGb18030},
        {", text_encoding = gb18030", E::kGb18030}, {", text_encoding = utf8", E::kUtf8},
        {", text_encoding = UTF-8", E::kUtf8},
    };
    for (const auto& [declared, encoding] : cases) {
        msc::SessionParams p;
        ASSERT_EQ(msc::ParseSessionParams(std::string("voice_name = xiaoyan") + declared, &p), MSP_SUCCESS) << declared;
        EXPECT_EQ(p.encoding, encoding) << declared;
    }
}

TEST(MscText, DecodesByTheDeclaredEncoding) {
    using msc::TextEncoding;
    // 猫忙 in GB18030 happens to be valid UTF-8 too ("èæ"): only the declaration tells them apart.
    const std::string catBusy = "\xC3\xA8\xC3\xA6";
    struct Case {
        std::string bytes;
        TextEncoding encoding;
        int error;
        std::string utf8;
    } cases[] = {
        {catBusy, TextEncoding::kGb18030, MSP_SUCCESS, "猫忙"},
        {catBusy, TextEncoding::kUtf8, MSP_SUCCESS, "èæ"},
        {catBusy, TextEncoding::kAuto, MSP_SUCCESS, "èæ"},  // a guess prefers UTF-8
        {"\xC4\xE3\xBA\xC3 ok", TextEncoding::kGb18030, MSP_SUCCESS, "你好 ok"},
        {"\xC4\xE3\xBA\xC3 ok", TextEncoding::kAuto, MSP_SUCCESS, "你好 ok"},
        {"\xC4\xE3", TextEncoding::kUtf8, MSP_ERROR_TEXT_ENCODING, ""},
        {"你好", TextEncoding::kGb18030, MSP_SUCCESS, "浣犲ソ"},  // UTF-8 sent as GB18030 is read as GB18030
        {"你好", TextEncoding::kAuto, MSP_SUCCESS, "你好"},
        {"\x81\x30\x81\x30", TextEncoding::kGb18030, MSP_SUCCESS, "\xC2\x80"},  // four-byte form
        {"\xC4", TextEncoding::kGb18030, MSP_ERROR_TEXT_ENCODING, ""},  // cut short
        {"\xC4", TextEncoding::kAuto, MSP_ERROR_TEXT_ENCODING, ""},
        {"\xFF\xFF", TextEncoding::kGb18030, MSP_ERROR_TEXT_ENCODING, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes + " as " + std::to_string(int(c.encoding)));
        std::string utf8 = "stale";
        EXPECT_EQ(msc::DecodeText(c.bytes, c.encoding, &utf8), c.error);
        EXPECT_EQ(utf8, c.utf8);
    }
}

TEST(MscText, ScriptRuns) {
    struct Case {
        const char* text;
        std::vector<msc::TextRun> runs;
    } cases[] = {
        {"你好", {{Script::kHan, "你好"}}},
        {"我用iPhone拍照。", {{Script::kHan, "我用"}, {Script::kLatin, "iPhone"}, {Script::kHan, "拍照. "}}},
        {"2024年，Hello！", {{Script::kHan, "2024年, "}, {Script::kLatin, "Hello! "}}},
        {"Ａｂｃ１２３（你）", {{Script::kLatin, "Abc123, "}, {Script::kHan, "你, "}}},
        {"café\tdéjà", {{Script::kLatin, "café déjà"}}},
        {"123 。", {{Script::kNeutral, "123 . "}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        auto runs = msc::SplitScriptRuns(c.text);
        ASSERT_EQ(runs.size(), c.runs.size()) << c.text;
        for (size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].script, c.runs[i].script) << c.text << " run " << i;
            EXPECT_EQ(runs[i].text, c.runs[i].text) << c.text << " run " << i;
        }
    }
}

TEST(Printable, NoTerminalControlGetsThrough) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"HTTP status 500\tbusy", "HTTP status 500\tbusy"},
        {"今天 ok", "今天 ok"},
        {"\x1b[2J\x1b]0;title\x07", " [2J ]0;title "},
        {"line\r\nnext\x7f", "line  next "},
        {"\xc2\x9b" "31m \xc2\xa0", " 31m \xc2\xa0"},  // C1 CSI as UTF-8; a no-break space stays
        {"\x9b" "31m", "?31m"},                        // CSI of an 8-bit terminal
        {"\xc0\x9b \xed\xa0\x80 \xe4\xbb", "?? ??? ??"},  // overlong, surrogate, cut short
    };
    for (const auto& c : cases) EXPECT_EQ(sdk::Printable(c.text), c.shown) << c.text;
}

// Amplitude of one frequency in a signal (single-bin DFT).
double Amplitude(const std::vector<int16_t>& x, int rate, double hz) {
    double re = 0, im = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        double a = 2 * M_PI * hz * double(i) / rate;
        re += x[i] * std::cos(a);
        im -= x[i] * std::sin(a);
    }
    return 2 * std::hypot(re, im) / double(x.size());
}

TEST(MscResample, LengthGainAndNoFoldBack) {
    const int in = 22050;
    // 1 kHz, and 5 kHz which an 8 kHz result would fold onto 3 kHz.
    std::vector<int16_t> tones(in * 2);
    for (size_t i = 0; i < tones.size(); ++i)
        tones[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * double(i) / in) + 8000 * std::sin(2 * M_PI * 5000 * double(i) / in));
    for (int out : {8000, 16000}) {
        std::vector<int16_t> pcm;
        ASSERT_EQ(msc::ResampleAndNormalise(tones, in, out, msc::kPeakLevel, &pcm), MSP_SUCCESS);
        EXPECT_NEAR(double(pcm.size()), double(tones.size()) * out / in, 2.0);
        int peak = 0;
        for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
        EXPECT_NEAR(peak, 29204, 2);
        std::vector<int16_t> middle(pcm.begin() + out / 4, pcm.end() - out / 4);  // away from the edges
        double wanted = Amplitude(middle, out, 1000);
        EXPECT_GT(wanted, 10000);
        if (out == 8000) EXPECT_LT(Amplitude(middle, out, 3000), wanted * 1e-3);  // below -60 dB
        else EXPECT_NEAR(Amplitude(middle, out, 5000), wanted, wanted * 0.02);     // kept at 16 kHz
    }
    std::vector<int16_t> pcm;
    ASSERT_EQ(msc::ResampleAndNormalise(std::vector<int16_t>(4410, 0), in, 8000, msc::kPeakLevel, &pcm), MSP_SUCCESS);
    EXPECT_EQ(pcm.size(), 1600u);
    for (int16_t s : pcm) ASSERT_EQ(s, 0);
    ASSERT_EQ(msc::ResampleAndNormalise({}, in, 8000, msc::kPeakLevel, &pcm), MSP_SUCCESS);
    EXPECT_TRUE(pcm.empty());
}

// A child that outlives its deadline is killed and reaped, and the engine
// speaks again afterwards.
TEST(MscSpeak, AChildPastItsDeadlineIsKilled) {
    ASSERT_EQ(msc::StartEngine(), MSP_SUCCESS);
    const msc::Voice* voice = msc::FindVoice("xiaoyan");
    ASSERT_NE(voice, nullptr);
    msc::SessionParams params;
    std::string longText;
    while (longText.size() < 60000) longText += "今天天气很好，我们去公园散步吧。";  // about 30 s of work
    const struct {
        const char* name;
        std::string text;
        std::chrono::milliseconds deadline;
        int error;
    } cases[] = {
        {"long text, 300 ms", longText, std::chrono::milliseconds(300), MSP_ERROR_ENGINE_TIMEOUT},
        {"short text, its own deadline", "你好。", msc::SpeakDeadline(msc::SplitScriptRuns("你好。")), MSP_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> pcm = {1, 2, 3};
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(msc::Speak(*voice, params, msc::SplitScriptRuns(c.text), c.deadline, &pcm), c.error);
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_LT(took, c.deadline + std::chrono::seconds(2));
        EXPECT_EQ(pcm.empty(), c.error != MSP_SUCCESS);
        // Nothing left running or unreaped.
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
    EXPECT_GE(msc::SpeakDeadline(msc::SplitScriptRuns("你好。")), std::chrono::seconds(30));
}

}  // namespace
