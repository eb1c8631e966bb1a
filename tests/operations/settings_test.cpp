#include <gtest/gtest.h>

#include "operations/buttons.h"
#include "operations/settings.h"
#include "operations/window_setup.h"
#include "i18n/language_table.h"
#include "tests/support/memory_window.h"

namespace tesvano {
namespace {

TEST(OverlayMode, VolumeControlsShownOnlyForMusicUnderVoice) {
    test::MemoryWindow w;
    FillControls(w);
    w.SetTrackbarPos(IDC_VOLUME, 73);
    struct Case {
        int selection;
        bool shown;
    } cases[] = {{1, false}, {0, true}, {2, false}, {3, false}, {-1, true}, {0, true}};
    for (const auto& c : cases) {
        w.Select(IDC_OVERLAY, c.selection);
        OnOverlayModeChanged(w);
        for (int id : {IDC_VOLUME_LABEL, IDC_VOLUME, IDC_VOLUME_VALUE})
            EXPECT_EQ(w.IsVisible(id), c.shown) << "selection " << c.selection << " control " << id;
    }
    EXPECT_EQ(w.GetTrackbarPos(IDC_VOLUME), 73);  // hiding keeps the position

    w.RemoveControl(IDC_VOLUME_LABEL);  // a missing control is skipped
    w.Select(IDC_OVERLAY, 1);
    OnOverlayModeChanged(w);
    EXPECT_FALSE(w.IsVisible(IDC_VOLUME));
}

TEST(Volume, DisplayFollowsTheTrackbarToBothEnds) {
    test::MemoryWindow w;
    FillControls(w);
    struct Case {
        int set;
        const char16_t* shown;
    } cases[] = {{100, u"100"}, {0, u"0"}, {150, u"100"}, {-5, u"0"}, {37, u"37"}};
    for (const auto& c : cases) {
        w.SetTrackbarPos(IDC_VOLUME, c.set);
        OnVolumeMoved(w);
        EXPECT_EQ(w.GetItemText(IDC_VOLUME_VALUE), c.shown);
    }
    w.RemoveControl(IDC_VOLUME);
    OnVolumeMoved(w);
    EXPECT_EQ(w.GetItemText(IDC_VOLUME_VALUE), u"0");
}

TEST(SaveFolder, BrowserOpensOnTheCurrentFolderAndCancelKeepsIt) {
    test::MemoryWindow w;
    w.SetItemText(IDC_SAVE_DIR, u"/srv/clips");
    OnSelectSaveDir(w);  // no answer queued: cancelled
    EXPECT_EQ(w.GetItemText(IDC_SAVE_DIR), u"/srv/clips");
    ASSERT_EQ(w.dialogTitles.size(), 1u);
    EXPECT_EQ(w.dialogTitles[0], u"MP3 " + CLanguageTable::Instance().GetText("SAVE_PATH"));
    EXPECT_EQ(w.folderStarts[0], u"/srv/clips");

    w.folderAnswers.push_back(u"/home/op/摄像机");
    EXPECT_TRUE(RunButton(w, IDC_SELECT_DIR));
    EXPECT_EQ(w.GetItemText(IDC_SAVE_DIR), u"/home/op/摄像机");
    EXPECT_TRUE(w.logTexts.empty());
}

TEST(SaveFolder, OpenHandsTheFolderToTheDesktopUnchanged) {
    test::MemoryWindow w;
    w.SetItemText(IDC_SAVE_DIR, u"/does/not/exist");
    EXPECT_TRUE(RunButton(w, IDC_OPEN_DIR));
    EXPECT_EQ(w.opened, std::vector<std::u16string>{u"/does/not/exist"});
    EXPECT_FALSE(RunButton(w, IDC_LOG));
}

}  // namespace
}  // namespace tesvano
