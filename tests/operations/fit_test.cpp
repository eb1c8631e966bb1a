// --fit through the in-memory window and a scripted engine: what gives way
// first, the speed the engine is asked for, and the clip that cannot fit.
#include <gtest/gtest.h>

#include <filesystem>

#include "operations/buttons.h"
#include "operations/fit.h"
#include "platform/text.h"
#include "tests/support/memory_window.h"
#include "tests/support/scripted_engine.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

constexpr size_t kRate = 16000;
size_t Samples(double seconds) { return static_cast<size_t>(seconds * kRate); }
struct Fixture {
    test::TempDir dir;
    test::MemoryWindow w;
    test::ScriptedEngine engine;
    Fixture() { w.SetUpControls(dir.str(), u"clip"); }
    // One piece per session: the voice at each speed the fitting asks for.
    void Voices(std::initializer_list<double> seconds) {
        for (double s : seconds) engine.pieces.push_back({test::PcmBytes(Samples(s) * 2), 2, 0});
    }
    std::string Log() const {
        std::string all;
        for (const auto& t : w.logTexts) all += WideToAnsi(t) + "\n";
        return all;
    }
    size_t Sessions() const {
        size_t n = 0;
        for (const auto& c : engine.calls) n += c.rfind("begin:", 0) == 0;
        return n;
    }
    std::string path() const { return dir / "clip.mp3"; }
    std::string LastBegin() const {
        std::string last;
        for (const auto& call : engine.calls)
            if (call.rfind("begin:", 0) == 0) last = call;
        return last;
    }
};

TEST(GenerateMp3Fitted, SpeaksFasterOnlyWhenTheVoiceIsOver) {
    const struct {
        std::initializer_list<double> voices;  // seconds at each session
        size_t sessions;
        const char* line;                      // in the log, or none
        const char* lastSpeed;
    } cases[] = {
        {{30.0}, 1, nullptr, "speed = 50,"},
        {{50.0, 40.0}, 2, "speech at speed 65 (1.", "speed = 65,"},         // aimed at 50/40.75 = 1.23x
        {{50.0, 42.0, 40.5}, 3, "speech at speed 68", "speed = 68,"},      // 1.23 x 42/40.75 = 1.27x: 68
    };
    for (const auto& c : cases) {
        Fixture f;
        f.Voices(c.voices);
        EXPECT_EQ(OnGenerateMp3Fitted(f.w), OpResult::kDone) << f.Log();
        EXPECT_EQ(f.Sessions(), c.sessions);
        EXPECT_NE(f.LastBegin().find(c.lastSpeed), std::string::npos) << f.LastBegin();
        const std::string log = f.Log();
        if (c.line) EXPECT_NE(log.find(c.line), std::string::npos) << log;
        else EXPECT_EQ(log.find("Fitted"), std::string::npos) << log;
        EXPECT_LE(fs::file_size(f.path()), 40960u);
        EXPECT_TRUE(f.w.boxes.empty());
        EXPECT_EQ(f.engine.calls.back(), "logout");
    }
}

TEST(GenerateMp3Fitted, MusicIsShortenedBeforeAnySpeedUp) {
    // The doorbell is 3.1 s; 38 s of voice leaves 2.75 s of the 40.75 s.
    const struct {
        int mode;
        const char* line;
    } cases[] = {
        {3, "music before and after the voice 3.1 s -> 1.4 s."},
        {1, "music before the voice 3.1 s -> 2.8 s."},
        {2, "music after the voice 3.1 s -> 2.8 s."},
        {0, nullptr},  // under the voice: nothing to change
    };
    for (const auto& c : cases) {
        Fixture f;
        f.Voices({38.0});
        f.w.Select(IDC_MUSIC, 1);
        f.w.Select(IDC_OVERLAY, c.mode);
        EXPECT_EQ(OnGenerateMp3Fitted(f.w), OpResult::kDone) << f.Log();
        EXPECT_EQ(f.Sessions(), 1u);
        const std::string log = f.Log();
        if (c.line) {
            EXPECT_NE(log.find(std::string("Fitted in 40960 bytes: ") + c.line), std::string::npos) << log;
            EXPECT_GE(fs::file_size(f.path()), 40960u - 36u) << "the room left is used";
        } else {
            EXPECT_EQ(log.find("Fitted"), std::string::npos) << log;
        }
        EXPECT_LE(fs::file_size(f.path()), 40960u);
    }
}

TEST(GenerateMp3Fitted, TheWindowsFitBoxDecidesForTheMp3Button) {
    for (bool checked : {true, false}) {
        Fixture f;
        f.Voices({50.0, 40.0});
        f.w.SetChecked(IDC_FIT, checked);
        OpResult result;
        ASSERT_TRUE(RunButton(f.w, IDC_GENERATE_MP3, &result));
        EXPECT_EQ(result, checked ? OpResult::kDone : OpResult::kOverLimit) << f.Log();
        EXPECT_EQ(fs::file_size(f.path()) <= 40960u, checked);
        EXPECT_EQ(f.w.boxes.empty(), checked);  // only the over-limit clip gets the warning box
    }
}

TEST(GenerateMp3Fitted, TooLongEvenAtTheFastestWritesNothing) {
    Fixture f;
    f.Voices({70.0, 48.0});  // 1.7x over: straight to the fastest speed
    EXPECT_EQ(OnGenerateMp3Fitted(f.w), OpResult::kFailed);
    const std::string log = f.Log();
    EXPECT_NE(log.find("40.8 s of speech fit, this text takes 48.0 s"), std::string::npos) << log;
    EXPECT_EQ(f.Sessions(), 2u);
    EXPECT_NE(f.LastBegin().find("speed = 79,"), std::string::npos) << f.LastBegin();
    EXPECT_FALSE(fs::exists(f.path()));
    EXPECT_EQ(f.engine.calls.back(), "logout");
}

}  // namespace
}  // namespace tesvano
