#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <new>

#include "operations/size_check.h"
#include "operations/fit.h"
#include "operations/generate.h"
#include "operations/music.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/memory_window.h"
#include "tests/support/scripted_engine.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

std::u16string T(const char* key) { return CLanguageTable::Instance().GetText(key); }
std::u16string W(const std::string& s) { return AnsiToWide(s); }

// The window as at start-up, saving into a fresh folder, with a scripted engine.
struct Fixture {
    test::TempDir dir;
    test::MemoryWindow w;
    test::ScriptedEngine engine;
    explicit Fixture(const std::u16string& text = u"Hello, world.") {
        w.SetUpControls(dir.str(), text);
        w.AddComboItem(IDC_MUSIC, u"missing.mp3", 2, false);
    }
    void Speak(size_t bytes) { engine.pieces = {{test::PcmBytes(bytes), 2, 0}}; }
};

TEST(FileStem, MarksRemovedThenCutToTwentyUnits) {
    struct Case {
        std::u16string text, stem;
    } cases[] = {
        {u"你好，世界。", u"你好世界"},
        {u"Hello, world.", u"Hello world"},
        {u"abcdefghijklmnopqrstuvwxyz0123", u"abcdefghijklmnopqrst"},
        {u"a.b,c，d。e", u"abcde"},
        {u"..........abcdefghijklmnopqrstuvwxyz", u"abcdefghijklmnopqrst"},  // removed before the cut
        {u" line\nbreak\\sub/dir ", u" linebreaksubdir"},                  // a name on any file system
        {u"Open 24/7: gate*?\"<>|\r\t\x7f\u2028end", u"Open 247 gateend"},
        {u"a\u00A0b\u3000c", u"a\u00A0b\u3000c"},                           // other blanks stay
        {u"::::::::::::::::::::::::abc", u"abc"},                              // removed before the cut
        {u"1234567890123456789\U0001F600x", u"1234567890123456789"},       // the emoji would be cut in half
        {u"123456789012345678\U0001F600x", u"123456789012345678\U0001F600"},
    };
    for (const auto& c : cases) EXPECT_EQ(MakeFileStem(c.text), c.stem) << WideToAnsi(c.text);
    // Nothing left: a dated name, never a hidden ".mp3".
    SetTickSourceForTesting([] { return 42u; });
    for (const std::u16string text : {u"。，,.", u"/// ", u"\n"}) {
        const std::string stem = WideToAnsi(MakeFileStem(text));
        EXPECT_EQ(stem.size(), 21u) << stem;
        EXPECT_EQ(stem.substr(10), "-0000000042") << stem;
    }
    SetTickSourceForTesting(nullptr);
}

TEST(GenerateMp3, WritesTheFileAndExactlyItsLines) {
    Fixture f(u"你好，世界。");
    f.Speak(16000 * 2);
    EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kDone);
    const std::string path = f.dir / "你好世界.mp3";
    const auto bytes = test::ReadFileBytes(path);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(f.w.logTexts,
              (std::vector<std::u16string>{
                  T("VOICE_WORKING"), T("TEXT_CREATE_VOICE_OK") + u"32000.\n", u"MP3" + T("FILE_SAVE_OK") + u":" + W(path),
                  u"MP3" + T("FILE_SIZE") + u":" + W(std::to_string(bytes.size())) + u" Bytes."}));
    EXPECT_EQ(f.w.opened, std::vector<std::u16string>{W(path)});
    EXPECT_TRUE(f.w.boxes.empty());
    EXPECT_EQ(f.engine.calls.back(), "logout");
    EXPECT_TRUE(f.engine.Called("put:" "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\xA1\xA3"));  // the whole text, in GB18030

    // Again from the same text: the file is replaced.
    f.engine.next = 0;
    EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kDone);
    EXPECT_EQ(test::ReadFileBytes(path), bytes);
}

TEST(GenerateMp3, EndingsThatWriteNothing) {
    {  // Empty text: one line, the engine untouched. Blanks are text.
        Fixture f(u"");
        EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kFailed);
        EXPECT_EQ(f.w.logTexts, std::vector<std::u16string>{T("PLEASE_INPUT_TEXT")});
        EXPECT_TRUE(f.engine.calls.empty());
    }
    {  // Login fails: no logout.
        Fixture f;
        f.engine.loginResult = 1;
        testing::internal::CaptureStdout();
        EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kFailed);
        testing::internal::GetCapturedStdout();
        EXPECT_FALSE(f.engine.Called("logout"));
    }
    {  // No audio: logout at once, no file.
        Fixture f;
        f.engine.pieces = {{{}, 2, 0}};
        EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kFailed);
        EXPECT_EQ(f.engine.calls.back(), "logout");
        EXPECT_TRUE(test::ReadFileBytes(f.dir / "Hello world.mp3").empty());
    }
    {  // Save folder missing: FILE_SAVE_FAILED, no box, nothing opened, logout.
        Fixture f;
        f.w.SetItemText(IDC_SAVE_DIR, W(f.dir / "missing"));
        f.Speak(3200);
        EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kFailed);
        // The failure, then why: the path and the system's reason.
        ASSERT_GE(f.w.logTexts.size(), 2u);
        EXPECT_EQ(f.w.logTexts.end()[-2], u"MP3" + T("FILE_SAVE_FAILED"));
        EXPECT_EQ(f.w.logTexts.back(), W(f.dir / "missing/Hello world.mp3") + u": No such file or directory");
        EXPECT_TRUE(f.w.boxes.empty());
        EXPECT_TRUE(f.w.opened.empty());
        EXPECT_EQ(f.engine.calls.back(), "logout");
    }
    {  // Music that cannot be decoded: the engine is never reached.
        Fixture f;
        f.w.Select(IDC_MUSIC, 2);
        f.Speak(3200);
        EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kFailed);
        EXPECT_TRUE(f.engine.calls.empty());
    }
}

TEST(GenerateMp3, LargerThanACameraTakesWarnsAndKeepsTheFile) {
    Fixture f;
    f.Speak(16000 * 2 * 50);  // 50 s at 1000 bytes/s
    EXPECT_EQ(OnGenerateMp3(f.w), OpResult::kOverLimit);
    const std::string path = f.dir / "Hello world.mp3";
    const size_t size = test::ReadFileBytes(path).size();
    ASSERT_GT(size, 40960u);
    const std::u16string warning =
        u"MP3" + T("FILE_SIZE") + u":" + W(std::to_string(size)) + u" Bytes." + T("EXCEED_FILE_SIZE");
    EXPECT_EQ(f.w.logTexts.back(), warning);
    ASSERT_EQ(f.w.boxes.size(), 1u);
    EXPECT_EQ(f.w.boxes[0].text, warning);
    EXPECT_EQ(f.w.boxes[0].caption, T("ATTENTION"));
    EXPECT_EQ(f.w.opened.size(), 1u);
}

TEST(SizeCheck, ExactlyTheLimitIsFine) {
    struct Case {
        uint32_t size;
        bool warned;
    } cases[] = {{0, false}, {40959, false}, {40960, false}, {40961, true}, {0xFFFFFFFFu, true}};
    for (const auto& c : cases) {
        test::MemoryWindow w;
        EXPECT_EQ(WarnIfOverCameraLimit(w, u"size line 100%", c.size), c.warned);
        EXPECT_EQ(w.boxes.size(), c.warned ? 1u : 0u);
        EXPECT_EQ(w.logTexts.size(), c.warned ? 1u : 0u);
        if (c.warned) {
            EXPECT_EQ(w.logTexts[0], u"size line 100%" + T("EXCEED_FILE_SIZE"));
        }
    }
}

TEST(GeneratePcmWav, FilesHoldTheSpeechAndTheirLine) {
    for (bool wav : {false, true}) {
        Fixture f(u"你好，世界。");
        f.engine.pieces = {{test::PcmBytes(6400), 2, 0}};
        EXPECT_EQ(wav ? OnGenerateWav(f.w) : OnGeneratePcm(f.w), OpResult::kDone);
        const std::string path = f.dir / (wav ? "你好世界.wav" : "你好世界.pcm");
        const auto bytes = test::ReadFileBytes(path);
        const size_t header = wav ? 44 : 0;
        ASSERT_EQ(bytes.size(), header + 6400);
        EXPECT_TRUE(std::equal(bytes.begin() + long(header), bytes.end(), test::PcmBytes(6400).begin()));
        if (wav) {
            EXPECT_EQ(bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24, int(bytes.size() - 44));
            EXPECT_EQ(bytes[24] | bytes[25] << 8, 16000);
        }
        EXPECT_EQ(f.w.logTexts.back(), u"PCM " + T("FILE_SAVE_OK") + u":" + W(path));
        EXPECT_EQ(f.engine.calls.back(), "logout");
    }
}

TEST(GeneratePcmWav, MarksOnlyAndMissingFolder) {
    Fixture marks(u"。，,.");
    marks.Speak(100);
    EXPECT_EQ(OnGeneratePcm(marks.w), OpResult::kDone);
    // Nothing of the text is left for a name: dated, never the hidden ".pcm".
    EXPECT_FALSE(std::filesystem::exists(marks.dir / ".pcm"));
    size_t dated = 0;
    for (const auto& e : std::filesystem::directory_iterator(marks.dir.path()))
        dated += e.path().extension() == ".pcm" && e.path().stem().string().size() == 21 &&
                 std::filesystem::file_size(e.path()) == 100u;
    EXPECT_EQ(dated, 1u);

    // A file that cannot be created is a failed save, like a failed write.
    for (auto* generate : {OnGeneratePcm, OnGenerateWav}) {
        Fixture missing;
        missing.w.SetItemText(IDC_SAVE_DIR, W(missing.dir / "nope"));
        missing.Speak(100);
        EXPECT_EQ(generate(missing.w), OpResult::kFailed);
        ASSERT_GE(missing.w.logTexts.size(), 2u);
        EXPECT_EQ(missing.w.logTexts.end()[-2], u"PCM " + T("FILE_SAVE_FAILED"));
        EXPECT_NE(WideToAnsi(missing.w.logTexts.back()).find("/nope/Hello world."), std::string::npos);
        EXPECT_EQ(missing.engine.calls.back(), "logout");
    }
}

// A window whose log runs out of memory on one line, as mixing or encoding might.
struct FailingWindow : test::MemoryWindow {
    std::u16string failOn;
    void AppendLog(const std::u16string& text) override {
        if (text.rfind(failOn, 0) == 0) throw std::bad_alloc();
        test::MemoryWindow::AppendLog(text);
    }
};

TEST(Generate, AnExceptionAfterLoginStillLogsOut) {
    // Thrown inside the synthesis (after login), then inside the writer.
    for (const char* key : {"TEXT_CREATE_VOICE_OK", "FILE_SAVE_OK"}) {
        SCOPED_TRACE(key);
        Fixture f;
        FailingWindow w;
        w.failOn = key == std::string("FILE_SAVE_OK") ? u"MP3" + T(key) : T(key);
        for (int id : {IDC_VOICE, IDC_MUSIC, IDC_OVERLAY, IDC_RATE}) *w.control(id) = *f.w.control(id);
        w.SetItemText(IDC_SAVE_DIR, W(f.dir.str()));
        w.SetItemText(IDC_TEXT, u"abc");
        f.Speak(3200);
        EXPECT_THROW(OnGenerateMp3(w), std::bad_alloc);
        ASSERT_FALSE(f.engine.calls.empty());
        EXPECT_EQ(f.engine.calls.front().rfind("login:", 0), 0u);
        EXPECT_EQ(f.engine.calls.back(), "logout");
    }
}

// Every way a speaking button can end gives the login back exactly once,
// and one that never logged in never logs out.
TEST(Generate, EveryEndingLogsOutOnceAfterALogin) {
    enum class Ending { kMusicFails, kLoginFails, kBeginFails, kNoAudio, kSaveFails, kWritten };
    const struct {
        Ending ending;
        long logouts;
    } cases[] = {
        {Ending::kMusicFails, 0}, {Ending::kLoginFails, 0}, {Ending::kBeginFails, 1},    {Ending::kNoAudio, 1},
        {Ending::kSaveFails, 1},  {Ending::kWritten, 1},
    };
    for (const auto& c : cases) {
        for (auto* generate : {OnGenerateMp3, OnGeneratePcm, OnGenerateMp3Fitted}) {
            Fixture f;
            f.Speak(3200);
            switch (c.ending) {
            case Ending::kMusicFails: f.w.Select(IDC_MUSIC, 2); break;  // missing.mp3
            case Ending::kLoginFails: f.engine.loginResult = 10407; break;
            case Ending::kBeginFails: f.engine.beginError = 10111; break;
            case Ending::kNoAudio: f.engine.pieces = {{{}, 2, 0}}; break;
            case Ending::kSaveFails: f.w.SetItemText(IDC_SAVE_DIR, W(f.dir / "missing")); break;
            case Ending::kWritten: break;
            }
            testing::internal::CaptureStdout();
            generate(f.w);
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(std::count(f.engine.calls.begin(), f.engine.calls.end(), "logout"), c.logouts)
                << static_cast<int>(c.ending);
            if (c.logouts > 0) {
                EXPECT_EQ(f.engine.calls.back(), "logout");
            }
        }
    }
}

TEST(GeneratePcmWav, MusicModesGiveTheirLengths) {
    PcmBuffer music;
    {
        Fixture probe;
        probe.w.Select(IDC_MUSIC, 1);
        ASSERT_EQ(DecodeBackgroundMusic(probe.w, ReadMusicChoice(probe.w), 16000, &music), 0);
        ASSERT_GT(music.size(), 0u);
    }
    const size_t speech = 1000, m = music.size();
    const size_t expected[] = {speech, speech + m, speech + m, speech + 2 * m};
    for (int mode = 0; mode < 4; ++mode) {
        Fixture f;
        f.w.Select(IDC_MUSIC, 1);
        f.w.Select(IDC_OVERLAY, mode);
        f.Speak(speech);
        EXPECT_EQ(OnGeneratePcm(f.w), OpResult::kDone);
        EXPECT_EQ(test::ReadFileBytes(f.dir / "Hello world.pcm").size(), expected[mode]) << "mode " << mode;
    }
}

}  // namespace
}  // namespace tesvano
