// Saving onto a file system with no room left: every writer says
// FILE_SAVE_FAILED, leaves no partial file, and an input that was being
// replaced in place stays whole. Needs a small tmpfs, so root.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

#include "audio/mp3_encoder.h"
#include "capture/capture_library.h"
#include "i18n/language_table.h"
#include "operations/convert.h"
#include "operations/generate.h"
#include "operations/record.h"
#include "platform/text.h"
#include "tests/support/audio_tools.h"
#include "tests/support/memory_window.h"
#include "tests/support/scripted_capture.h"
#include "tests/support/scripted_engine.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

std::u16string T(const char* key) { return CLanguageTable::Instance().GetText(key); }
std::u16string W(const std::string& s) { return AnsiToWide(s); }

class FullDisk : public ::testing::Test {
protected:
    test::TempDir tmp;
    std::string full = tmp / "full";
    bool mounted = false;
    test::MemoryWindow w;
    test::ScriptedEngine engine;

    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root; full-disk tests skipped";
        fs::create_directory(full);
        ASSERT_EQ(mount("tesvano-full", full.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k"), 0)
            << std::strerror(errno);
        mounted = true;
        w.SetUpControls(full, u"Hello");
        w.SetItemText(IDC_RECORD, T("RECORD"));
    }
    void TearDown() override {
        // Even after a failed assertion: a lazy unmount when something still holds it.
        if (mounted && umount(full.c_str()) != 0) umount2(full.c_str(), MNT_DETACH);
    }

    // Fills the file system up to `room` bytes of free space.
    void Fill(size_t room) {
        const fs::space_info space = fs::space(full);
        ASSERT_GT(space.available, room);
        test::WriteFileBytes(full + "/filler", std::vector<uint8_t>(space.available - room, 0x55));
        ASSERT_LE(fs::space(full).available, room);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(full)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Logged(const std::u16string& line) const {
        return std::find(w.logTexts.begin(), w.logTexts.end(), line) != w.logTexts.end();
    }
};

TEST_F(FullDisk, GeneratedFilesAreReportedAndLeaveNothing) {
    struct Case {
        OpResult (*generate)(IMainWindow&);
        const char* prefix;
        size_t room;
    } cases[] = {
        {OnGenerateMp3, "MP3", 8192}, {OnGeneratePcm, "PCM ", 8192}, {OnGenerateWav, "PCM ", 8192},
        {OnGenerateMp3, "MP3", 0},    {OnGenerateWav, "PCM ", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.prefix) + " room " + std::to_string(c.room));
        fs::remove(full + "/filler");
        Fill(c.room);
        w.logTexts.clear();
        engine.next = 0;
        engine.pieces = {{test::PcmBytes(16000 * 2 * 20), 2, 0}};  // 20 s: more than the room even as MP3
        EXPECT_EQ(c.generate(w), OpResult::kFailed);
        EXPECT_TRUE(Logged(W(c.prefix) + T("FILE_SAVE_FAILED"))) << WideToAnsi(w.logTexts.back());
        EXPECT_EQ(Files(), std::vector<std::string>{"filler"});
        EXPECT_TRUE(w.opened.empty());
    }
}

TEST_F(FullDisk, AnInputConvertedInPlaceStaysWhole) {
    const std::string input = full + "/door.mp3";
    {
        const auto pcm = test::AsBytes(test::SpeechLikePcm(16000, 20.0));
        CMp3Encoder encoder(16000);
        ASSERT_TRUE(encoder.Encode(pcm.data(), pcm.size()));
        ASSERT_TRUE(encoder.SaveToFile(input));
    }
    const auto before = test::ReadFileBytes(input);
    Fill(4096);
    w.Select(IDC_RATE, 0);  // 8000 Hz: a different file would take its place
    w.fileAnswers.push_back({W(input)});
    EXPECT_EQ(OnConvertMp3(w), OpResult::kFailed);
    EXPECT_TRUE(Logged(u"MP3" + T("FILE_SAVE_FAILED")));
    w.fileAnswers.push_back({W(input)});
    EXPECT_EQ(OnMp3ToWav(w), OpResult::kFailed);
    EXPECT_TRUE(Logged(u"PCM " + T("FILE_SAVE_FAILED")));
    EXPECT_EQ(test::ReadFileBytes(input), before);
    EXPECT_EQ(Files(), (std::vector<std::string>{"door.mp3", "filler"}));
}

TEST_F(FullDisk, ARecordingIsReportedAndLeavesNothing) {
    test::ScriptedCapture capture;
    capture.Deliver(test::AsBytes(test::SpeechLikePcm(16000, 20.0)), 1280);
    Fill(4096);
    EXPECT_EQ(OnRecord(w), OpResult::kDone);
    EXPECT_EQ(OnRecord(w), OpResult::kFailed);
    EXPECT_TRUE(Logged(u"MP3" + T("FILE_SAVE_FAILED")));
    EXPECT_EQ(Files(), std::vector<std::string>{"filler"});
}

}  // namespace
}  // namespace tesvano
