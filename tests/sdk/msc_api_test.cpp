// Drives libmsc's six functions the way the program does, and checks the
// audio against espeak-ng's own output and with sox and ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iconv.h>
#include <signal.h>
#include <sys/wait.h>
#include <sstream>
#include <string>
#include <vector>

#include "sdk/msc/msc.h"
#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace {

using tesvano::test::RunProgram;

const char kChinese[] = "今天天气很好，我们去公园散步吧。";
const char kEnglish[] = "Please keep away from the door, this area is under video surveillance.";
const char* const kVoices[] = {"xiaoyu", "xiaoyan", "vixy", "xiaoqi", "vixf", "xiaomei", "vixl xiaolin",
                               "xiaorong", "vixyun", "xiaokun", "xiaoqiang", "vixying", "xiaoxin", "nannan",
                               "catherine", "henry", "vimary"};

std::string BinDir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }

// The session string exactly as the program builds it.
std::string Params(const std::string& voice, int rate, const std::string& extra = "speed = 50, volume = 50, pitch = 50") {
    return "voice_name =" + voice + ", text_encoding = gb2312, sample_rate = " + std::to_string(rate) + ", " + extra +
           ", rdn = 2";
}

struct Result {
    int error = 0;  // first non-zero code, 0 when all went well
    std::vector<int16_t> pcm;
    int pieces = 0;
    bool endOnlyOnLast = true;
};

Result Synthesize(const std::string& params, const std::string& text) {
    Result r;
    const char* id = QTTSSessionBegin(params.c_str(), &r.error);
    if (r.error) return r;
    r.error = QTTSTextPut(id, text.data(), unsigned(text.size()), nullptr);
    if (r.error) {
        QTTSSessionEnd(id, "TextPutError");
        return r;
    }
    int status = 0;
    while (status != MSP_TTS_FLAG_DATA_END) {
        unsigned length = 0;
        const void* piece = QTTSAudioGet(id, &length, &status, &r.error);
        if (r.error) {
            QTTSSessionEnd(id, "AudioGetError");
            return r;
        }
        if (piece && length) {
            ++r.pieces;
            auto* s = static_cast<const int16_t*>(piece);
            r.pcm.insert(r.pcm.end(), s, s + length / 2);
        }
        if (status != MSP_TTS_FLAG_DATA_END && length == 0) r.endOnlyOnLast = false;  // would spin
    }
    r.error = QTTSSessionEnd(id, "Normal");
    return r;
}

int Peak(const std::vector<int16_t>& pcm) {
    int peak = 0;
    for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

// espeak-ng's own sample count and rate for one run, from a separate process.
std::pair<long, int> Reference(const std::string& voice, const char* script, const std::string& text,
                               const std::string& wav = "", int speed = 50) {
    std::vector<std::string> argv = {BinDir() + "/msc_espeak_reference"};
    if (!wav.empty()) argv.insert(argv.end(), {"-w", wav});
    argv.insert(argv.end(), {voice, script, std::to_string(speed), "50", text});
    std::string out;
    EXPECT_EQ(RunProgram(argv, &out), 0);
    std::istringstream in(out);
    long samples = -1;
    int rate = 0;
    in >> samples >> rate;
    return {samples, rate};
}

// The text as the program sends it to a session that declares gb2312.
std::string ToGb18030(const std::string& utf8) {
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* o = out.data();
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    EXPECT_NE(r, size_t(-1));
    out.resize(out.size() - outLeft);
    return out;
}

class MscTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MSPLogin(nullptr, nullptr, "appid = 7c1e0a93, work_dir = ."), MSP_SUCCESS); }
    void TearDown() override { MSPLogout(); }
};

// msc-say in a process of its own, through the six functions; the sample
// count it printed, or -1.
long SayCount(const std::string& voice, int rate, const std::string& text, const std::string& wav) {
    std::string out;
    if (RunProgram({BinDir() + "/msc-say", "-v", voice, "-r", std::to_string(rate), "-o", wav, text}, &out) != 0)
        return -1;
    return std::atol(out.c_str() + out.find(": ") + 2);
}

TEST_F(MscTest, LengthIsEspeakCountScaledByRate) {
    tesvano::test::TempDir dir;
    struct Case {
        const char* voice;
        const char* script;
        std::string text;
    } cases[] = {{"xiaoyan", "han", kChinese}, {"catherine", "latin", kEnglish}};
    for (const auto& c : cases) {
        auto [native, nativeRate] = Reference(c.voice, c.script, c.text);
        ASSERT_GT(native, 20000) << c.voice;
        for (int rate : {8000, 16000}) {
            SCOPED_TRACE(std::string(c.voice) + " at " + std::to_string(rate));
            const double expected = double(native) * rate / nativeRate;
            EXPECT_NEAR(double(SayCount(c.voice, rate, c.text, dir / "say.wav")), expected, 3.0);
            Result r = Synthesize(Params(c.voice, rate), ToGb18030(c.text));
            ASSERT_EQ(r.error, 0);
            EXPECT_NEAR(double(r.pcm.size()), expected, 3.0);
            // Normalised to -1 dBFS (29204), never clipped.
            EXPECT_NEAR(Peak(r.pcm), 29204, 2);
            EXPECT_TRUE(r.endOnlyOnLast);
        }
    }
}

TEST_F(MscTest, MixedTextSpeaksEnglishWordsInEnglish) {
    const std::string text = "我用iPhone拍照";
    long runs = Reference("xiaoyan", "han", "我用").first + Reference("xiaoyan", "latin", "iPhone").first +
                Reference("xiaoyan", "han", "拍照").first;
    auto [mandarinOnly, nativeRate] = Reference("xiaoyan", "han", text);
    ASSERT_GT(std::abs(mandarinOnly - runs), runs / 20) << "the two readings should differ";
    Result r = Synthesize(Params("xiaoyan", 16000), ToGb18030(text));
    ASSERT_EQ(r.error, 0);
    EXPECT_NEAR(double(r.pcm.size()), double(runs) * 16000 / nativeRate, runs * 0.01);
}

TEST_F(MscTest, EveryVoiceNameIsAcceptedWithOrWithoutBlanks) {
    for (const char* voice : kVoices) {
        for (std::string name : {std::string(voice), " " + std::string(voice), "  " + std::string(voice) + " "}) {
            SCOPED_TRACE("[" + name + "]");
            Result r = Synthesize(Params(name, 8000), ToGb18030("你好 hello"));
            ASSERT_EQ(r.error, 0);
            EXPECT_GT(Peak(r.pcm), 20000);
        }
    }
}

TEST_F(MscTest, SessionBeginRejections) {
    struct Case {
        std::string params;
        int error;
    } cases[] = {
        {Params("vixl", 16000), MSP_ERROR_UNKNOWN_VOICE},
        {Params("xiaolin", 16000), MSP_ERROR_UNKNOWN_VOICE},
        {Params("vixlxiaolin", 16000), MSP_ERROR_UNKNOWN_VOICE},
        {Params("", 16000), MSP_ERROR_UNKNOWN_VOICE},
        {"sample_rate = 16000", MSP_ERROR_UNKNOWN_VOICE},
        {Params("xiaoyan", 44100), MSP_ERROR_UNSUPPORTED_RATE},
        {Params("xiaoyan", 0), MSP_ERROR_UNSUPPORTED_RATE},
        {"voice_name = xiaoyan, sample_rate = 16k", MSP_ERROR_UNSUPPORTED_RATE},
        {Params("xiaoyan", 16000, "speed = 101"), MSP_ERROR_INVALID_PARA},
        {Params("xiaoyan", 16000, "pitch = -1"), MSP_ERROR_INVALID_PARA},
        {Params("xiaoyan", 16000, "volume = loud"), MSP_ERROR_INVALID_PARA},
        {"voice_name = xiaoyan, rdn", MSP_ERROR_INVALID_PARA},
        {"voice_name = xiaoyan, text_encoding = big5", MSP_ERROR_UNSUPPORTED_ENCODING},
    };
    for (const auto& c : cases) {
        int error = -1;
        EXPECT_EQ(QTTSSessionBegin(c.params.c_str(), &error), nullptr) << c.params;
        EXPECT_EQ(error, c.error) << c.params;
    }
    int error = -1;
    EXPECT_EQ(QTTSSessionBegin(nullptr, &error), nullptr);
    EXPECT_EQ(error, MSP_ERROR_INVALID_PARA);
}

TEST_F(MscTest, TextPutRejections) {
    struct Case {
        const char* name;
        std::string params;
        std::string text;
        int error;
    } cases[] = {
        {"empty", Params("xiaoyan", 16000), "", MSP_ERROR_TEXT_EMPTY},
        {"too long", Params("xiaoyan", 16000), std::string(MSP_MAX_TEXT_BYTES + 1, 'a'), MSP_ERROR_TEXT_TOO_LONG},
        {"0xFF is neither", Params("xiaoyan", 16000), "abc\xff", MSP_ERROR_TEXT_ENCODING},
        {"lead byte then blank", Params("xiaoyan", 16000), "\x81 abc", MSP_ERROR_TEXT_ENCODING},
        {"lone 0x80", Params("xiaoyan", 16000), "\x80", MSP_ERROR_TEXT_ENCODING},
        {"GB2312 declared UTF-8", "voice_name = xiaoyan, text_encoding = utf8", ToGb18030("你好"), MSP_ERROR_TEXT_ENCODING},
    };
    for (const auto& c : cases) {
        Result r = Synthesize(c.params, c.text);
        EXPECT_EQ(r.error, c.error) << c.name;
    }
    int error = 0;
    const char* id = QTTSSessionBegin(Params("xiaoyan", 16000).c_str(), &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(QTTSTextPut(id, nullptr, 5, nullptr), MSP_ERROR_TEXT_EMPTY);
    // A refused text leaves the session open for another.
    EXPECT_EQ(QTTSTextPut(id, "\xff", 1, nullptr), MSP_ERROR_TEXT_ENCODING);
    EXPECT_EQ(QTTSTextPut(id, "ok", 2, nullptr), MSP_SUCCESS);
    EXPECT_EQ(QTTSSessionEnd(id, "Normal"), MSP_SUCCESS);
    // Exactly the limit is fine.
    EXPECT_EQ(Synthesize(Params("henry", 8000), std::string("ok").append(MSP_MAX_TEXT_BYTES - 2, ' ')).error, 0);
}

TEST_F(MscTest, DeclaredGb2312SoundsLikeTheSameTextDeclaredUtf8) {
    const std::string utf8Session = Params("xiaoyu", 16000, "text_encoding = utf8");  // the later value counts
    // 猫忙 in GB18030 is also valid UTF-8 ("èæ"), which a guess would take.
    for (const std::string& text : {std::string(kChinese), std::string("猫忙")}) {
        SCOPED_TRACE(text);
        const std::string gb = ToGb18030(text);
        ASSERT_NE(gb, text);
        Result fromGb = Synthesize(Params("xiaoyu", 16000), gb);
        Result fromUtf8 = Synthesize(utf8Session, text);
        ASSERT_EQ(fromGb.error, 0);
        ASSERT_EQ(fromUtf8.error, 0);
        EXPECT_GT(Peak(fromGb.pcm), 20000);
        EXPECT_TRUE(fromGb.pcm == fromUtf8.pcm);
        EXPECT_FALSE(fromGb.pcm == Synthesize(utf8Session, gb).pcm) << "read as the wrong encoding";
    }
    // msc-say declares nothing: the engine's guess reads both forms.
    tesvano::test::TempDir dir;
    long fromGb = SayCount("xiaoyu", 16000, ToGb18030(kChinese), dir / "gb.wav");
    EXPECT_GT(fromGb, 16000);
    EXPECT_EQ(fromGb, SayCount("xiaoyu", 16000, kChinese, dir / "utf8.wav"));
}

// espeak-ng carries state from one utterance to the next; none of it may show.
TEST_F(MscTest, SameTextAndVoiceGiveTheSameBytesEverySession) {
    const struct {
        const char* voice;
        int rate;
        std::string text;
    } cases[] = {{"xiaoyan", 8000, std::string(kChinese) + "Hello 123."}, {"henry", 16000, kEnglish}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.voice);
        const Result first = Synthesize(Params(c.voice, c.rate), ToGb18030(c.text));
        ASSERT_EQ(first.error, 0);
        ASSERT_GT(first.pcm.size(), 8000u);
        for (int session = 2; session <= 5; ++session) {
            // Another utterance in between must not matter either.
            if (session == 4) {
                ASSERT_EQ(Synthesize(Params("vimary", 16000), "Something else.").error, 0);
            }
            const Result again = Synthesize(Params(c.voice, c.rate), ToGb18030(c.text));
            ASSERT_EQ(again.error, 0);
            EXPECT_EQ(again.pcm.size(), first.pcm.size()) << "session " << session;
            EXPECT_TRUE(again.pcm == first.pcm) << "session " << session;
        }
    }
}

void ReapEveryChild(int) {
    const int saved = errno;
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    errno = saved;
}

// The host program may ignore SIGCHLD or reap every child itself: the
// engine's child is then gone before the engine waits for it, which must not
// fail an utterance that was read in full.
TEST_F(MscTest, SpeaksWhenSomeoneElseReapsItsChild) {
    const std::string text = ToGb18030(kChinese);
    const Result reference = Synthesize(Params("xiaoyan", 16000), text);
    ASSERT_EQ(reference.error, 0);
    const struct {
        const char* name;
        void (*handler)(int);
    } cases[] = {{"SIGCHLD ignored", SIG_IGN}, {"a handler reaps every child", ReapEveryChild}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        struct sigaction set{}, old{};
        set.sa_handler = c.handler;
        set.sa_flags = SA_RESTART;
        ASSERT_EQ(sigaction(SIGCHLD, &set, &old), 0);
        const Result r = Synthesize(Params("xiaoyan", 16000), text);
        sigaction(SIGCHLD, &old, nullptr);
        EXPECT_EQ(r.error, 0);
        EXPECT_TRUE(r.pcm == reference.pcm);
    }
}

TEST_F(MscTest, CallsOutOfOrderAndAfterTheEnd) {
    int error = 0;
    const char* id = QTTSSessionBegin(Params(" xiaorong", 16000).c_str(), &error);
    ASSERT_EQ(error, 0);
    ASSERT_NE(id, nullptr);
    unsigned length = 99;
    int status = 0;
    EXPECT_EQ(QTTSAudioGet(id, &length, &status, &error), nullptr);
    EXPECT_EQ(error, MSP_ERROR_OUT_OF_ORDER);
    EXPECT_EQ(length, 0u);
    const std::string hello = ToGb18030("你好");
    ASSERT_EQ(QTTSTextPut(id, hello.data(), unsigned(hello.size()), nullptr), 0);
    EXPECT_EQ(QTTSTextPut(id, hello.data(), unsigned(hello.size()), nullptr), MSP_ERROR_OUT_OF_ORDER);
    do {
        QTTSAudioGet(id, &length, &status, &error);
        ASSERT_EQ(error, 0);
    } while (status != MSP_TTS_FLAG_DATA_END);
    // Polling past the end is harmless.
    EXPECT_EQ(QTTSAudioGet(id, &length, &status, &error), nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(status, MSP_TTS_FLAG_DATA_END);
    ASSERT_EQ(QTTSSessionEnd(id, "Normal"), 0);

    // The same id pointer after the end.
    EXPECT_EQ(QTTSTextPut(id, "a", 1, nullptr), MSP_ERROR_SESSION_NOT_FOUND);
    EXPECT_EQ(QTTSAudioGet(id, &length, &status, &error), nullptr);
    EXPECT_EQ(error, MSP_ERROR_SESSION_NOT_FOUND);
    EXPECT_EQ(QTTSSessionEnd(id, "Normal"), MSP_ERROR_SESSION_NOT_FOUND);
    EXPECT_EQ(QTTSSessionEnd(nullptr, "Normal"), MSP_ERROR_SESSION_NOT_FOUND);
    EXPECT_EQ(QTTSSessionEnd("tts-0-1", "Normal"), MSP_ERROR_SESSION_NOT_FOUND);
    std::string unterminated(100, 'x');
    EXPECT_EQ(QTTSSessionEnd(unterminated.c_str(), "Normal"), MSP_ERROR_SESSION_NOT_FOUND);

    // Logout ends open sessions; nothing works until the next login.
    id = QTTSSessionBegin(Params("xiaoyu", 8000).c_str(), &error);
    ASSERT_EQ(error, 0);
    std::string kept = id;
    ASSERT_EQ(MSPLogout(), 0);
    EXPECT_EQ(MSPLogout(), MSP_ERROR_NOT_LOGGED_IN);
    EXPECT_EQ(QTTSTextPut(kept.c_str(), "a", 1, nullptr), MSP_ERROR_SESSION_NOT_FOUND);
    EXPECT_EQ(QTTSSessionBegin(Params("xiaoyu", 8000).c_str(), &error), nullptr);
    EXPECT_EQ(error, MSP_ERROR_NOT_LOGGED_IN);
    EXPECT_EQ(MSPLogin(nullptr, nullptr, "appid"), MSP_ERROR_INVALID_PARA);
    ASSERT_EQ(MSPLogin(nullptr, nullptr, nullptr), 0);
}

TEST_F(MscTest, LongTextComesInSeveralPiecesEndingWithStatus2) {
    std::string text;
    while (text.size() < 6000) text += kEnglish, text += ' ';  // several minutes of speech
    Result r = Synthesize(Params("henry", 16000), text);
    ASSERT_EQ(r.error, 0);
    EXPECT_GE(r.pieces, 2);
    EXPECT_TRUE(r.endOnlyOnLast);
    EXPECT_GT(r.pcm.size() * 2, size_t{MSP_MAX_PIECE_BYTES} * (r.pieces - 1));
}

TEST_F(MscTest, SpeedAndVolumeChangeTheAudio) {
    Result normal = Synthesize(Params("vimary", 16000), kEnglish);
    Result fast = Synthesize(Params("vimary", 16000, "speed = 100, volume = 50, pitch = 50"), kEnglish);
    Result quiet = Synthesize(Params("vimary", 16000, "speed = 50, volume = 25, pitch = 50"), kEnglish);
    Result silent = Synthesize(Params("vimary", 16000, "speed = 50, volume = 0, pitch = 50"), kEnglish);
    ASSERT_EQ(normal.error, 0);
    EXPECT_LT(fast.pcm.size(), normal.pcm.size() * 7 / 10);
    EXPECT_NEAR(Peak(quiet.pcm), 29204 / 2, 2);
    EXPECT_EQ(Peak(silent.pcm), 0);
}

// Median voice pitch in Hz by autocorrelation over the loud frames.
double MedianPitch(const std::vector<int16_t>& pcm, int rate) {
    const size_t frame = size_t(rate) / 25, maxLag = size_t(rate) / 70;
    std::vector<double> found;
    for (size_t at = 0; at + frame + maxLag < pcm.size(); at += frame / 2) {
        double energy = 0;
        for (size_t i = 0; i < frame; ++i) energy += double(pcm[at + i]) * pcm[at + i];
        if (energy < frame * 3000.0 * 3000.0) continue;
        double best = 0;
        size_t bestLag = 0;
        for (size_t lag = size_t(rate) / 500; lag < maxLag; ++lag) {
            double c = 0;
            for (size_t i = 0; i < frame; ++i) c += double(pcm[at + i]) * pcm[at + i + lag];
            if (c > best) best = c, bestLag = lag;
        }
        if (bestLag) found.push_back(double(rate) / double(bestLag));
    }
    if (found.empty()) return 0;
    std::nth_element(found.begin(), found.begin() + found.size() / 2, found.end());
    return found[found.size() / 2];
}

// Men lowest, women higher, the two children highest.
TEST_F(MscTest, VoicePitchFitsTheDescription) {
    auto pitch = [](const char* voice) {
        Result r = Synthesize(Params(voice, 8000), ToGb18030("今天天气很好我们去公园散步吧"));
        EXPECT_EQ(r.error, 0);
        return MedianPitch(r.pcm, 8000);
    };
    double man = pitch("xiaoyu"), woman = pitch("xiaoyan"), boy = pitch(" xiaoxin"), girl = pitch(" nannan");
    EXPECT_GT(man, 60);
    EXPECT_GT(woman, man * 1.3);
    EXPECT_GT(boy, woman * 1.2);
    EXPECT_GT(girl, woman * 1.2);
}

TEST(MscLibrary, ExportsOnlyTheSixFunctionsAndItsTwoHelpers) {
    std::string out;
    ASSERT_EQ(RunProgram({"nm", "-D", "--defined-only", BinDir() + "/libmsc.so"}, &out), 0);
    std::vector<std::string> names;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) names.push_back(line.substr(line.rfind(' ') + 1));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"MSPLogin", "MSPLogout", "QTTSAudioGet", "QTTSSessionBegin",
                                               "QTTSSessionEnd", "QTTSTextPut", "TesvanoLastError",
                                               "TesvanoVoiceSource"}));
}

TEST(MscSay, WritesMonoSixteenBitWavAtTheRequestedRate) {
    if (!tesvano::test::ProgramExists("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    tesvano::test::TempDir dir;
    for (int rate : {8000, 16000}) {
        std::string wav = dir / ("say" + std::to_string(rate) + ".wav");
        ASSERT_EQ(RunProgram({BinDir() + "/msc-say", "-v", " nannan", "-r", std::to_string(rate), "-o", wav, kChinese}), 0);
        auto probe = tesvano::test::Probe(wav);
        ASSERT_TRUE(probe.ok);
        EXPECT_EQ(probe.codec, "pcm_s16le");
        EXPECT_EQ(probe.channels, 1);
        EXPECT_EQ(probe.sampleRate, rate);
    }
    EXPECT_NE(RunProgram({BinDir() + "/msc-say", "-v", "nobody", "-o", dir / "x.wav", "hi"}), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
}

// RMS level in dB of one band of a WAV file, filtered by sox.
double BandLevel(const std::string& wav, const std::string& band) {
    std::string out;
    EXPECT_EQ(RunProgram({"sox", wav, "-t", "f32", "-", "sinc", band}, &out), 0);
    const size_t n = out.size() / sizeof(float);
    EXPECT_GT(n, 1000u);
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        float v;
        std::memcpy(&v, out.data() + i * sizeof v, sizeof v);
        sum += double(v) * v;
    }
    return 10 * std::log10(sum / double(std::max<size_t>(n, 1)) + 1e-30);
}

// Aliasing folds sibilants above 4 kHz into the 3-4 kHz band of an 8 kHz
// clip. Without it, that band keeps the same level relative to the low band
// as in espeak-ng's own 22050 Hz output.
TEST(MscSay, ResamplingDoesNotFoldEnergyBelowTheNewNyquist) {
    if (!tesvano::test::ProgramExists("sox")) GTEST_SKIP() << "sox missing";
    tesvano::test::TempDir dir;
    const std::string text = "Six sisters sell sea shells; she sees sixty six swans, and this sauce is so spicy.";
    std::string ours = dir / "ours.wav", native = dir / "native.wav";
    ASSERT_EQ(RunProgram({BinDir() + "/msc-say", "-v", "catherine", "-r", "8000", "-o", ours, text}), 0);
    Reference("catherine", "latin", text, native);
    for (const char* band : {"3000-3500", "3500-3800"}) {
        double expected = BandLevel(native, band) - BandLevel(native, "300-1000");
        double got = BandLevel(ours, band) - BandLevel(ours, "300-1000");
        EXPECT_NEAR(got, expected, 1.5) << band;
    }
}

}  // namespace
