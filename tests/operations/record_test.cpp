#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <thread>

#include "capture/capture_library.h"
#include "i18n/language_table.h"
#include "operations/buttons.h"
#include "operations/record.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/audio_tools.h"
#include "tests/support/memory_window.h"
#include "tests/support/scripted_capture.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

std::u16string T(const char* key) { return CLanguageTable::Instance().GetText(key); }
std::u16string W(const std::string& s) { return AnsiToWide(s); }

struct Fixture {
    test::TempDir dir;
    test::MemoryWindow w;
    test::ScriptedCapture capture;
    Fixture() {
        w.SetUpControls(dir.str(), u"");
        w.SetItemText(IDC_RECORD, T("RECORD"));
    }
    // `seconds` of speech-like sound at 16 kHz, in 40 ms blocks.
    void Deliver(double seconds) { capture.Deliver(test::AsBytes(test::SpeechLikePcm(16000, seconds)), 1280); }
    ~Fixture() { SetTickSourceForTesting(nullptr); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename());
        return names;
    }
    std::u16string StopLine(const char* seconds) const {
        return T("RECORD_STOPED") + u"," + T("RECORD_TIME_LENGTH") + W(seconds) + u" " + T("TIME_SECONDS");
    }
};

TEST(Record, EachStartResultGivesItsKeysLine) {
    const std::pair<int, const char*> cases[] = {
        {0, "RECORD_START_OK"},
        {-9000002, "ERR_NOT_FIND_DEVICE"},
        {-9000001, "ERR_OPEN_AUDIOCAPTURE_FAIL"},
        {-9000000, "ERR_START_AUDIOCAPTURE_FAIL"},
        {-8999999, "ERR_AUDIO_PARAM_ERROR"},
        {-8999994, "ERR_OUTOFF_MEMORY"},
        {-8999990, "ERR_START_THREADERROR"},
        {-8999986, "ERR_IS_STARTAUDIO_ERROR"},
        {-1, "RECORD_FAILED"},
        {7, "RECORD_FAILED"},
    };
    for (const auto& [result, key] : cases) {
        SCOPED_TRACE(key);
        Fixture f;
        f.capture.startResult = result;
        OpResult r;
        ASSERT_TRUE(RunButton(f.w, IDC_RECORD, &r));
        EXPECT_EQ(f.w.logTexts, std::vector<std::u16string>{T(key)});
        EXPECT_EQ(f.capture.startArgs, (std::vector<int>{16000, 16, 1}));
        EXPECT_EQ(f.w.recording().active(), result == 0);
        EXPECT_EQ(f.w.GetItemText(IDC_RECORD), T(result == 0 ? "STOP" : "RECORD"));
        EXPECT_EQ(r, result == 0 ? OpResult::kDone : OpResult::kFailed);
    }
}

TEST(Record, StopWithoutAudioWritesNothingAndTheTickMayWrap) {
    Fixture f;
    uint32_t tick = 0xFFFFFF00u;
    SetTickSourceForTesting([&] { return tick; });
    EXPECT_EQ(OnRecord(f.w), OpResult::kDone);
    tick += 1234;  // past 2^32
    EXPECT_EQ(OnRecord(f.w), OpResult::kFailed);
    EXPECT_EQ(f.w.logTexts, (std::vector<std::u16string>{T("RECORD_START_OK"), f.StopLine("1.234")}));
    EXPECT_EQ(f.w.GetItemText(IDC_RECORD), T("RECORD"));
    EXPECT_EQ(f.capture.stops, 1);
    EXPECT_TRUE(f.Files().empty());
    EXPECT_TRUE(f.w.opened.empty());
}

TEST(Record, MusicAroundTheRecordingIsSavedAsADatedMp3) {
    Fixture f;
    f.Deliver(2.0);
    f.w.Select(IDC_MUSIC, 1);
    f.w.Select(IDC_OVERLAY, 3);  // music, recording, music
    ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
    ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
    ASSERT_EQ(f.w.logTexts.size(), 6u);
    // The decode line tells the music's length; the data line covers it twice.
    const std::string decoded = WideToAnsi(f.w.logTexts[2]);
    const std::string prefix = GetAnsiText("MP3_DECODE_OK");
    ASSERT_EQ(decoded.rfind(prefix, 0), 0u) << decoded;
    const long music = std::stol(decoded.substr(prefix.size()));
    EXPECT_GT(music, 0);
    EXPECT_EQ(f.w.logTexts[3], T("RECORD_PCM_DATALENGTH") + W(std::to_string(64000 + 2 * music)) + u" Bytes");

    const auto files = f.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0], std::regex(R"(\d{4}-\d{2}-\d{2}-\d{10}\.mp3)"))) << files[0];
    const std::string path = f.dir / files[0];
    EXPECT_EQ(f.w.logTexts[4], u"MP3" + T("FILE_SAVE_OK") + u":" + W(path));
    EXPECT_EQ(f.w.logTexts[5], u"MP3" + T("FILE_SIZE") + u":" + W(std::to_string(fs::file_size(path))) + u" Bytes.");
    EXPECT_EQ(f.w.opened, std::vector<std::u16string>{W(path)});
    std::vector<int16_t> samples;
    ASSERT_TRUE(test::DecodeWithMpg123(path, &samples));
    EXPECT_NEAR(samples.size() / 16000.0, (64000 + 2 * music) / 32000.0, 0.15);
    // The buffer is kept for the next recording, sized as the mixed audio.
    EXPECT_GE(f.w.recording().buffer().capacity(), uint64_t(64000 + 2 * music));
}

TEST(Record, CameraLimitWarnsOnlyAboveIt) {
    // Find the longest recording whose MP3 fits, and one frame more.
    auto record = [](double seconds, std::vector<std::u16string>* log, size_t* boxes) {
        Fixture f;
        f.Deliver(seconds);
        OnRecord(f.w);
        const OpResult r = OnRecord(f.w);
        *log = f.w.logTexts;
        *boxes = f.w.boxes.size();
        const auto files = f.Files();
        return std::make_pair(r, files.empty() ? 0 : fs::file_size(f.dir / files[0]));
    };
    std::vector<std::u16string> log;
    size_t boxes;
    double lo = 30, hi = 50;
    for (int i = 0; i < 20 && hi - lo > 0.01; ++i) {
        const double mid = (lo + hi) / 2;
        (record(mid, &log, &boxes).second <= 40960 ? lo : hi) = mid;
    }
    auto [fitResult, fitSize] = record(lo, &log, &boxes);
    EXPECT_LE(fitSize, 40960u);
    EXPECT_GT(fitSize, 40960u - 72);
    EXPECT_EQ(fitResult, OpResult::kDone);
    EXPECT_EQ(boxes, 0u);
    EXPECT_EQ(log.size(), 5u);
    auto [overResult, overSize] = record(hi, &log, &boxes);
    EXPECT_GT(overSize, 40960u);
    EXPECT_EQ(overResult, OpResult::kOverLimit);
    EXPECT_EQ(boxes, 1u);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[5], u"MP3" + T("FILE_SIZE") + u":" + W(std::to_string(overSize)) + u" Bytes." + T("EXCEED_FILE_SIZE"));
}

TEST(Record, ClosingWhileRecordingStopsAndWritesNothing) {
    Fixture f;
    f.Deliver(1.0);
    ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
    CloseRecording(f.w);
    EXPECT_EQ(f.capture.stops, 1);
    EXPECT_FALSE(f.w.recording().active());
    EXPECT_EQ(f.w.recording().buffer().capacity(), 0u);
    EXPECT_TRUE(f.Files().empty());
    EXPECT_EQ(f.w.logTexts.size(), 1u);
}

TEST(Record, ABlockWithoutMemoryIsLostAndTheStopSaysSo) {
    Fixture f;
    f.Deliver(40.0);  // 1.28 MB: the second mebibyte cannot be had
    f.w.recording().buffer().SetCapacityLimitForTesting(CaptureBuffer::kStep);
    OnRecord(f.w);
    EXPECT_EQ(OnRecord(f.w), OpResult::kDone);
    ASSERT_GE(f.w.logTexts.size(), 3u);
    EXPECT_EQ(f.w.logTexts[2], T("MALLOC_FAILED"));
    // What fitted is saved: every whole block of the first mebibyte.
    EXPECT_EQ(f.w.logTexts[3], T("RECORD_PCM_DATALENGTH") + W(std::to_string(CaptureBuffer::kStep / 1280 * 1280)) +
                                   u" Bytes");
    EXPECT_EQ(f.Files().size(), 1u);
}

// The stop reads the rate again: the audio is saved at the rate chosen then,
// and a rate the encoder cannot take (an empty rate list) fails the save.
TEST(Record, TheRateIsReadAtTheStop) {
    struct Case {
        int stopRate;  // item data selected before the stop
        OpResult result;
        int fileRate;  // 0: no file
    };
    const Case cases[] = {{16000, OpResult::kDone, 16000}, {8000, OpResult::kDone, 8000}, {0, OpResult::kFailed, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopRate);
        Fixture f;
        f.Deliver(1.0);
        ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
        if (c.stopRate == 0) f.w.AddComboItem(IDC_RATE, u"", 0, true);
        else f.w.Select(IDC_RATE, c.stopRate == 8000 ? 0 : 1);
        EXPECT_EQ(OnRecord(f.w), c.result);
        EXPECT_EQ(f.capture.startArgs, (std::vector<int>{16000, 16, 1}));
        const auto files = f.Files();
        if (c.fileRate == 0) {
            EXPECT_TRUE(files.empty());
            EXPECT_EQ(f.w.logTexts.back(), T("CREATE_MP3_FAILED"));
            EXPECT_TRUE(f.w.opened.empty());
            continue;
        }
        ASSERT_EQ(files.size(), 1u);
        const auto probe = test::Probe(f.dir / files[0]);
        EXPECT_EQ(probe.sampleRate, c.fileRate);
        // 32000 bytes of 16-bit samples last 1 s at 16 kHz, 2 s at 8 kHz.
        EXPECT_NEAR(probe.duration, 16000.0 / c.fileRate, 0.35);  // plus the coder's delay and padding
    }
}

// Music that cannot be decoded at the stop: nothing is written, the
// recording stays in its buffer, and the next recording starts empty.
TEST(Record, MusicThatFailsAtTheStopKeepsTheBufferOnlyUntilTheNextStart) {
    struct Case {
        const char* what;
        bool exists;  // an empty file (decode failure) or none (file error box)
    };
    const Case cases[] = {{"empty music file", true}, {"missing music file", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        test::TempDir musicDir;
        const std::string music = musicDir / "empty.mp3";
        if (c.exists) test::WriteFileBytes(music, {});
        // Music entries are names in the program folder: reach ours from there.
        const std::string entry = fs::relative(music, GetProgramDirectory()).string();
        f.w.AddComboItem(IDC_MUSIC, W(entry), 2, true);
        f.Deliver(1.0);
        ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
        EXPECT_EQ(OnRecord(f.w), OpResult::kFailed);
        EXPECT_FALSE(f.w.recording().active());
        EXPECT_EQ(f.w.recording().buffer().size(), 32000u);
        EXPECT_EQ(f.w.boxes.size(), c.exists ? 0u : 1u);
        if (c.exists) {
            EXPECT_EQ(f.w.logTexts.back(), T("MP3_DECODE_FAILED"));
        }
        EXPECT_EQ(f.w.GetItemText(IDC_RECORD), T("RECORD"));
        EXPECT_TRUE(f.Files().empty());

        f.w.Select(IDC_MUSIC, 0);
        f.capture.blocks.clear();
        f.Deliver(0.5);
        f.w.logTexts.clear();
        ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
        ASSERT_EQ(OnRecord(f.w), OpResult::kDone);
        ASSERT_GE(f.w.logTexts.size(), 3u);
        EXPECT_EQ(f.w.logTexts[2], T("RECORD_PCM_DATALENGTH") + u"16000 Bytes");
        EXPECT_EQ(f.Files().size(), 1u);
    }
}

TEST(Record, FileNameFromTheLocalDateAndTick) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    EXPECT_EQ(RecordingFileName("/save", 42), std::string("/save/") + date + "-0000000042.mp3");
    EXPECT_EQ(RecordingFileName("/save", 4294967295u), std::string("/save/") + date + "-4294967295.mp3");
}

}  // namespace
}  // namespace tesvano
