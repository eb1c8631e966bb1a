// The play-on-camera button: the last clip made or converted in this run,
// through the in-memory window, to gst-rtsp-server's ONVIF server on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "audio/mp3_encoder.h"
#include "i18n/language_table.h"
#include "operations/buttons.h"
#include "platform/text.h"
#include "tests/support/audio_tools.h"
#include "tests/support/memory_window.h"
#include "tests/support/servers.h"
#include "tests/support/temp_dir.h"

#ifdef TESVANO_SANITIZE
// GStreamer loads in this process, and GLib's constructor leaves a block that
// only its full stack tells apart (lsan.supp); the fast unwinder stops at GLib.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
#endif

namespace tesvano {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::u16string W(const std::string& s) { return AnsiToWide(s); }

TEST(PlayOnCamera, PlaysTheLastClipMadeOrConverted) {
    test::TempDir dir;
    const std::string input = dir / "in.mp3";
    {
        const auto pcm = test::AsBytes(test::SpeechLikePcm(16000, 2.0));
        CMp3Encoder encoder(16000);
        ASSERT_TRUE(encoder.Encode(pcm.data(), pcm.size()));
        ASSERT_TRUE(encoder.SaveToFile(input));
    }
    const struct {
        const char* name;
        int makeButton;  // 0: nothing made yet
    } cases[] = {{"nothing made", 0}, {"converted MP3", IDC_CONVERT}, {"MP3 decoded to WAV", IDC_MP3_TO_WAV}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string received = dir / (std::string("received-") + std::to_string(c.makeButton) + ".raw");
        test::Child server({std::string(TESVANO_BIN_DIR) + "/talk_onvif_server", "pcmu", received});
        std::string port;
        ASSERT_TRUE(server.ReadLine(&port, 10s));
        setenv("TESVANO_CAMERA_URL", ("rtsp://127.0.0.1:" + port + "/camera").c_str(), 1);

        test::MemoryWindow w;
        const std::string out = dir / ("out" + std::to_string(c.makeButton));
        fs::create_directory(out);
        w.AddComboItem(IDC_RATE, u"8000", 8000, false);
        w.AddComboItem(IDC_RATE, u"16000", 16000, true);
        w.SetItemText(IDC_TEXT, u"x");
        w.SetItemText(IDC_SAVE_DIR, W(out));
        if (c.makeButton) {
            w.fileAnswers.push_back({W(input)});
            ASSERT_TRUE(RunButton(w, c.makeButton));
        }
        const size_t linesBefore = w.logTexts.size();
        OpResult result = OpResult::kDone;
        ASSERT_TRUE(RunButton(w, IDC_PLAY_ON_CAMERA, &result));
        unsetenv("TESVANO_CAMERA_URL");
        if (!c.makeButton) {
            EXPECT_EQ(result, OpResult::kFailed);
            EXPECT_EQ(w.logTexts.size(), linesBefore) << "nothing to play says nothing";
            continue;
        }
        EXPECT_EQ(result, OpResult::kDone);
        ASSERT_GT(w.logTexts.size(), linesBefore);
        EXPECT_EQ(w.logTexts.back().rfind(CLanguageTable::Instance().GetText("CAMERA_PLAY_DONE"), 0), 0u);
        std::this_thread::sleep_for(200ms);
        // The MP3 coders pad their ends by a few frames.
        const double seconds = double(test::ReadFileBytes(received).size()) / 2 / 8000;
        EXPECT_GT(seconds, 1.95);
        EXPECT_LT(seconds, 2.2);
    }
}

}  // namespace
}  // namespace tesvano
