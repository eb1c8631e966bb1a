#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "operations/window_setup.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/voice_table.h"
#include "tests/support/audio_tools.h"
#include "tests/support/memory_window.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

TEST(WindowSetup, StartUpStateOfEveryControl) {
    test::MemoryWindow w;
    FillControls(w);
    SetControlLabels(w);
    auto& t = CLanguageTable::Instance();

    const auto* voices = w.control(IDC_VOICE);
    ASSERT_EQ(voices->items.size(), 17u);
    EXPECT_EQ(voices->selection, 0);
    const bool chinese = t.GetLanguageCode() == u"zh-cn";
    for (size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(voices->items[i].second, int(i));
        EXPECT_EQ(voices->items[i].first,
                  AnsiToWide(chinese ? kVoiceTable[i].chineseName : kVoiceTable[i].englishName));
    }

    EXPECT_EQ(w.GetItemText(IDC_TEXT), t.GetText("DEFAULT_TEXT2"));

    const auto* music = w.control(IDC_MUSIC);
    ASSERT_GE(music->items.size(), 1u);
    EXPECT_EQ(music->items[0], std::make_pair(t.GetText("TEXT_NONE"), 0));
    EXPECT_EQ(music->selection, 0);
    const auto files = ListMusicFiles(GetProgramDirectory());
    ASSERT_EQ(music->items.size(), files.size() + 1);
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(music->items[i + 1], std::make_pair(files[i], int(i + 1)));
    EXPECT_GE(files.size(), 3u) << "the shipped background music is beside the program";

    const auto* overlay = w.control(IDC_OVERLAY);
    ASSERT_EQ(overlay->items.size(), 4u);
    const char* modeKeys[] = {"BACK_MUSIC", "HEAD_OF_VOICE", "BEHIND_OF_VOICE", "HEAD_AND_BEHIND_OF_VOICE"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(overlay->items[size_t(i)], std::make_pair(t.GetText(modeKeys[i]), i));
    EXPECT_EQ(overlay->selection, 0);
    for (int id : {IDC_VOLUME_LABEL, IDC_VOLUME, IDC_VOLUME_VALUE}) EXPECT_TRUE(w.IsVisible(id));

    const auto* rate = w.control(IDC_RATE);
    ASSERT_EQ(rate->items.size(), 2u);
    EXPECT_EQ(rate->items[0], std::make_pair(std::u16string(u"8000"), 8000));
    EXPECT_EQ(rate->items[1], std::make_pair(std::u16string(u"16000"), 16000));
    EXPECT_EQ(w.GetComboSelectionData(IDC_RATE), 16000);

    EXPECT_EQ(w.GetTrackbarPos(IDC_VOLUME), 50);
    EXPECT_EQ(w.GetItemText(IDC_VOLUME_VALUE), u"50");
    EXPECT_EQ(w.GetItemText(IDC_SAVE_DIR), GetDocumentsFolder());

    EXPECT_EQ(w.GetItemText(IDC_GENERATE_MP3), t.GetText("TEXT_TO_SPEECH"));
    EXPECT_EQ(w.GetItemText(IDC_OPEN_DIR), t.GetText("OPEN_SAVE_PATH"));
    EXPECT_TRUE(w.logTexts.empty());
}

TEST(WindowSetup, MusicListTakesMp3NamesOfAnyCaseFoldersIncludedSorted) {
    test::TempDir dir;
    for (const char* f : {"b.mp3", "a.MP3", "c.txt", "mp3", ".mp3x", "Z.Mp3", "_intro.mp3", "Bell.mp3"})
        test::WriteFileBytes(dir / f, {1});
    fs::create_directory(dir.path() / "x.mp3");
    // Letters compare without case; "_" sorts after every letter, as on NTFS.
    const auto names = ListMusicFiles(dir.str());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a.MP3", u"b.mp3", u"Bell.mp3", u"x.mp3", u"Z.Mp3", u"_intro.mp3"}));
    EXPECT_TRUE(ListMusicFiles("/nonexistent-folder").empty());
}

TEST(WindowSetup, ShippedMusicLeavesHeadroomForTheVoice) {
    const auto files = ListMusicFiles(GetProgramDirectory());
    ASSERT_GE(files.size(), 3u);
    for (const auto& name : files) {
        std::vector<int16_t> pcm;
        ASSERT_TRUE(test::DecodeWithMpg123(GetProgramDirectory() + "/" + WideToAnsi(name), &pcm));
        int peak = 0;
        for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
        EXPECT_LE(peak, 23197) << WideToAnsi(name) << " peaks above -3 dBFS";  // 32768 * 10^(-3/20)
        EXPECT_GE(peak, 8000) << WideToAnsi(name) << " is nearly silent";
    }
}

TEST(WindowSetup, VoicesASpeechServerSpeaksAreMarked) {
    test::TempDir dir;
    const std::string map = dir / "voices.conf";
    std::ofstream(map) << "[server]\nurl = http://127.0.0.1:9/v1/audio/speech\n[voices]\nhenry = alloy\nxiaoyan = x\n";
    setenv("TESVANO_VOICES", map.c_str(), 1);
    test::MemoryWindow w;
    FillControls(w, /*markServerVoices=*/true);
    unsetenv("TESVANO_VOICES");
    const std::u16string mark = CLanguageTable::Instance().GetText("SERVER_VOICE");
    ASSERT_FALSE(mark.empty());
    const auto& voices = w.control(IDC_VOICE)->items;
    ASSERT_EQ(voices.size(), 17u);
    for (size_t i = 0; i < voices.size(); ++i) {
        const std::string name = kVoiceTable[i].voiceName;
        const bool mapped = name.find("henry") != std::string::npos || name.find("xiaoyan") != std::string::npos;
        const auto& text = voices[i].first;
        EXPECT_EQ(text.size() > mark.size() && text.compare(text.size() - mark.size(), mark.size(), mark) == 0, mapped)
            << name;
    }
}

TEST(WindowSetup, CaptionIsTitleVersionAuthor) {
    auto& t = CLanguageTable::Instance();
    EXPECT_EQ(MakeCaption(), t.GetText("TITLE") + u" V2.0.9_20251119 " + t.GetText("AUTHOR"));
}

class HomeFolder : public testing::Test {
protected:
    void SetUp() override {
        saved_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home_.str().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
    }
    void TearDown() override {
        setenv("HOME", saved_.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    test::TempDir home_;
    std::string saved_;
};

TEST_F(HomeFolder, DocumentsFolderFallsBackToHome) {
    EXPECT_EQ(GetDocumentsFolder(), AnsiToWide(home_.str()));
    fs::create_directory(home_.path() / "Documents");
    EXPECT_EQ(GetDocumentsFolder(), AnsiToWide(home_ / "Documents"));
    fs::create_directories(home_.path() / ".config");
    fs::create_directory(home_.path() / "文档");
    std::ofstream(home_ / ".config/user-dirs.dirs") << "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/文档\"\n";
    EXPECT_EQ(GetDocumentsFolder(), AnsiToWide(home_ / "文档"));
}

}  // namespace
}  // namespace tesvano
