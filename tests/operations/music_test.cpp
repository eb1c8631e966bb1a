#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "operations/music.h"
#include "audio/mp3_decoder.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/audio/mp3_fixtures.h"
#include "tests/support/memory_window.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

// A music file beside the program, where the music list's entries live;
// removed again after the test.
class MusicFile {
public:
    explicit MusicFile(const std::string& stem)
        : name_(stem + "-" + std::to_string(getpid()) + ".mp3"),
          path_(GetProgramDirectory() + "/" + name_) {}
    ~MusicFile() { std::filesystem::remove_all(path_); }
    const std::string& name() const { return name_; }
    const std::string& path() const { return path_; }

private:
    std::string name_, path_;
};

void ChooseMusic(test::MemoryWindow& w, const std::string& name) {
    w.AddComboItem(IDC_MUSIC, u"none", 0, true);
    w.AddComboItem(IDC_MUSIC, AnsiToWide(name), 1, true);
}

TEST(ReadMusicChoice, ListedFilesLieBesideTheProgramAndAPathStaysWhole) {
    const struct {
        const char16_t* entry;
        int overlay, volume;
        bool volumeControl;
        std::string path;
        MixMode mode;
        int heardVolume;
    } cases[] = {
        {u"bell.mp3", 2, 30, true, GetProgramDirectory() + "/bell.mp3", MixMode::kAfterVoice, 30},
        {u"/music/own.ogg", 0, 70, true, "/music/own.ogg", MixMode::kUnderVoice, 70},
        {u"bell.mp3", 3, 70, false, GetProgramDirectory() + "/bell.mp3", MixMode::kAroundVoice, 0},
    };
    for (const auto& c : cases) {
        test::MemoryWindow w;
        w.AddComboItem(IDC_MUSIC, u"none", 0, false);
        w.AddComboItem(IDC_MUSIC, c.entry, 1, true);
        for (int mode = 0; mode < 4; ++mode) w.AddComboItem(IDC_OVERLAY, u"m", mode, mode == c.overlay);
        w.SetTrackbarPos(IDC_VOLUME, c.volume);
        if (!c.volumeControl) w.RemoveControl(IDC_VOLUME);
        const MusicChoice music = ReadMusicChoice(w);
        EXPECT_EQ(music.path, c.path);
        EXPECT_EQ(music.mode, c.mode);
        EXPECT_EQ(music.volume, c.heardVolume);
    }
}

TEST(DecodeBackgroundMusic, NoMusicChosen) {
    struct Case {
        const char* what;
        void (*setUp)(test::MemoryWindow&);
    };
    const Case cases[] = {
        {"nothing selected", [](test::MemoryWindow&) {}},
        {"the entry for no music", [](test::MemoryWindow& w) { w.AddComboItem(IDC_MUSIC, u"none", 0, true); }},
        {"negative item data", [](test::MemoryWindow& w) { w.AddComboItem(IDC_MUSIC, u"x.mp3", -1, true); }},
        {"no music list", [](test::MemoryWindow& w) { w.RemoveControl(IDC_MUSIC); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::MemoryWindow w;
        c.setUp(w);
        PcmBuffer music(10, 1);  // stale content from an earlier run is cleared
        EXPECT_EQ(DecodeBackgroundMusic(w, ReadMusicChoice(w), 16000, &music), 0);
        EXPECT_TRUE(music.empty());
        EXPECT_TRUE(w.logTexts.empty());
        EXPECT_TRUE(w.boxes.empty());
    }
}

TEST(DecodeBackgroundMusic, DecodesTheChosenFileToMonoAtTheRate) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    test::TempDir dir;
    MusicFile file("music");
    ASSERT_TRUE(test::MakeMp3({"music", 44100, 2, "lame", {"-b", "96"}, 1.5}, dir.str(), file.path()));
    for (int rate : {8000, 16000}) {
        SCOPED_TRACE(rate);
        test::MemoryWindow w;
        ChooseMusic(w, file.name());
        PcmBuffer music;
        ASSERT_EQ(DecodeBackgroundMusic(w, ReadMusicChoice(w), rate, &music), 0);
        CAudioDecodeMp3 direct(file.path(), rate, 1);
        ASSERT_EQ(direct.Decode(), kDecodeOk);
        EXPECT_EQ(music, PcmBuffer(direct.output(), direct.output() + direct.outputLength()));
        EXPECT_NEAR(double(music.size()), 1.5 * rate * 2, 0.1 * rate * 2);
        ASSERT_EQ(w.logTexts.size(), 1u);
        const std::u16string tail = AnsiToWide(std::to_string(music.size()) + ".\n");
        EXPECT_TRUE(w.logTexts[0].ends_with(tail) || w.logTexts[0].ends_with(tail.substr(0, tail.size() - 1)));
        EXPECT_TRUE(w.boxes.empty());
    }
}

TEST(DecodeBackgroundMusic, Failures) {
    MusicFile empty("empty"), folder("folder"), missing("missing");
    test::WriteFileBytes(empty.path(), {});
    std::filesystem::create_directory(folder.path());
    struct Case {
        const MusicFile* file;
        int error;  // 0: decoding failed, logged; else a message box with this reason
    };
    const Case cases[] = {{&empty, 0}, {&folder, EISDIR}, {&missing, ENOENT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file->name());
        test::MemoryWindow w;
        ChooseMusic(w, c.file->name());
        PcmBuffer music;
        EXPECT_EQ(DecodeBackgroundMusic(w, ReadMusicChoice(w), 16000, &music), -1);
        EXPECT_TRUE(music.empty());
        if (c.error == 0) {
            EXPECT_EQ(w.logTexts.size(), 1u);  // the MP3_DECODE_FAILED line
            EXPECT_TRUE(w.boxes.empty());
        } else {
            EXPECT_TRUE(w.logTexts.empty());
            ASSERT_EQ(w.boxes.size(), 1u);
            EXPECT_NE(w.boxes[0].text.find(AnsiToWide(c.file->path())), std::u16string::npos);
            EXPECT_NE(w.boxes[0].text.find(AnsiToWide(std::strerror(c.error))), std::u16string::npos);
        }
    }
}

}  // namespace
}  // namespace tesvano
