#include <gtest/gtest.h>

#include <filesystem>

#include "audio/mp3_encoder.h"
#include "i18n/language_table.h"
#include "operations/buttons.h"
#include "operations/convert.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/audio_tools.h"
#include "tests/support/memory_window.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

std::u16string T(const char* key) { return CLanguageTable::Instance().GetText(key); }
std::u16string W(const std::string& s) { return AnsiToWide(s); }

// A camera MP3 of `seconds` of speech-like sound at 16 kHz, made by our encoder.
void MakeCameraMp3(const std::string& path, double seconds) {
    const auto pcm = test::AsBytes(test::SpeechLikePcm(16000, seconds));
    CMp3Encoder encoder(16000);
    ASSERT_TRUE(encoder.Encode(pcm.data(), pcm.size()));
    ASSERT_TRUE(encoder.SaveToFile(path));
}

// The window at start-up: 16000 Hz, a text in the box, saving into out/.
struct Fixture {
    test::TempDir dir;
    test::MemoryWindow w;
    std::string out;
    Fixture() : out(dir / "out") {
        fs::create_directory(out);
        w.AddComboItem(IDC_RATE, u"8000", 8000, false);
        w.AddComboItem(IDC_RATE, u"16000", 16000, true);
        w.SetItemText(IDC_TEXT, u"x");
        w.SetItemText(IDC_SAVE_DIR, W(out));
    }
    std::u16string SavedLine(const std::string& path, size_t bytes) const {
        return u"MP3" + T("FILE_SAVE_OK") + u":" + W(path) + u" " + W(std::to_string(bytes)) + u" Bytes";
    }
};

TEST(ConvertNames, WavNameNeverTheInputsOwn) {
    struct Case {
        const char *name, *wav;
    } cases[] = {
        {"a.mp3", "a.wav"},         {"a.mp3.mp3", "a.wav.wav"}, {"A.MP3", "A.wav"},
        {"noext", "noext.wav"},     {"x.wav", "x.wav.wav"},     {"b.Mp3", "b.wav"},
        {"c.mp3.MP3", "c.wav.wav"}, {".mp3", ".wav"},           {"mp3", "mp3.wav"},
    };
    for (const auto& c : cases) EXPECT_EQ(WavNameFor(c.name), c.wav) << c.name;
    // A camera MP3 keeps an MP3's name and never takes another format's.
    const Case mp3s[] = {{"a.mp3", "a.mp3"}, {"A.MP3", "A.MP3"}, {"a.wav", "a.wav.mp3"}, {"noext", "noext.mp3"}};
    for (const auto& c : mp3s) EXPECT_EQ(Mp3NameFor(c.name), c.wav) << c.name;
    EXPECT_EQ(FileNameOf("/a.mp3/b\\c.mp3"), "b\\c.mp3");
}

TEST(ConvertMp3, ReEncodesIntoTheSaveFolderAndOpensIt) {
    Fixture f;
    const std::string input = f.dir / "in.mp3";
    MakeCameraMp3(input, 2.0);
    f.w.fileAnswers.push_back({W(input)});
    OpResult result = OpResult::kFailed;
    ASSERT_TRUE(RunButton(f.w, IDC_CONVERT, &result));
    EXPECT_EQ(result, OpResult::kDone);
    const std::string output = f.out + "/in.mp3";
    const size_t bytes = test::ReadFileBytes(output).size();
    ASSERT_EQ(f.w.logTexts.size(), 2u);
    EXPECT_EQ(f.w.logTexts[0].rfind(T("MP3_DECODE_OK"), 0), 0u);
    EXPECT_NE(f.w.logTexts[0].find(W(std::to_string(fs::file_size(input))) + u" MP3 Bytes.\n"), std::u16string::npos);
    EXPECT_EQ(f.w.logTexts[1], f.SavedLine(output, bytes));
    EXPECT_EQ(f.w.opened, std::vector<std::u16string>{W(output)});
    EXPECT_TRUE(f.w.boxes.empty());
    const auto probe = test::Probe(output);
    EXPECT_EQ(probe.channels, 1);
    EXPECT_EQ(probe.sampleRate, 16000);
}

TEST(ConvertMp3, AFileInTheSaveFolderIsDecodedWholeThenReplaced) {
    Fixture f;
    const std::string input = f.out + "/here.mp3";
    MakeCameraMp3(input, 3.0);
    const auto before = test::ReadFileBytes(input);
    f.w.Select(IDC_RATE, 0);  // 8000 Hz: the result differs from the input
    f.w.fileAnswers.push_back({W(input)});
    EXPECT_EQ(OnConvertMp3(f.w), OpResult::kDone);
    const auto after = test::ReadFileBytes(input);
    EXPECT_NE(after, before);
    EXPECT_EQ(test::Probe(input).sampleRate, 8000);
    std::vector<int16_t> samples;
    ASSERT_TRUE(test::DecodeWithMpg123(input, &samples));
    // All of it (plus the coders' padding frames), not a cut-off read.
    EXPECT_GT(samples.size() / 8000.0, 2.95);
    EXPECT_LT(samples.size() / 8000.0, 3.4);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(f.out)) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(ConvertMp3, CameraLimitWarnsOnlyAbove40960Bytes) {
    // Output grows by whole frames with the input: find the longest input
    // whose MP3 still fits, and the next frame's worth that does not.
    Fixture f;
    const std::string input = f.dir / "long.mp3";
    auto convert = [&](double seconds, test::MemoryWindow* w) {
        MakeCameraMp3(input, seconds);
        w->SetItemText(IDC_TEXT, u"x");
        w->AddComboItem(IDC_RATE, u"16000", 16000, true);
        w->SetItemText(IDC_SAVE_DIR, W(f.out));
        w->fileAnswers.push_back({W(input)});
        const OpResult r = OnConvertMp3(*w);
        return std::make_pair(r, fs::file_size(f.out + "/long.mp3"));
    };
    double lo = 30, hi = 50;  // 8 kbit/s: 40960 bytes is about 41 s
    for (int i = 0; i < 20 && hi - lo > 0.01; ++i) {
        test::MemoryWindow w;
        const double mid = (lo + hi) / 2;
        (convert(mid, &w).second <= 40960 ? lo : hi) = mid;
    }
    test::MemoryWindow fits, over;
    const auto [fitResult, fitSize] = convert(lo, &fits);
    const auto [overResult, overSize] = convert(hi, &over);
    EXPECT_LE(fitSize, 40960u);
    EXPECT_GT(fitSize, 40960u - 72);  // within one frame of the limit
    EXPECT_GT(overSize, 40960u);
    EXPECT_LE(overSize, 40960u + 72);
    EXPECT_EQ(fitResult, OpResult::kDone);
    EXPECT_TRUE(fits.boxes.empty());
    EXPECT_EQ(fits.logTexts.size(), 2u);
    EXPECT_EQ(overResult, OpResult::kOverLimit);
    const std::u16string warning =
        u"MP3" + T("FILE_SAVE_OK") + u":" + W(std::to_string(overSize)) + u" Bytes." + T("EXCEED_FILE_SIZE");
    ASSERT_EQ(over.logTexts.size(), 3u);
    EXPECT_EQ(over.logTexts[2], warning);
    ASSERT_EQ(over.boxes.size(), 1u);
    EXPECT_EQ(over.boxes[0].text, warning);
    EXPECT_EQ(over.boxes[0].caption, T("ATTENTION"));
}

TEST(Conversions, InputWithoutAudioWritesNothing) {
    for (int button : {IDC_CONVERT, IDC_MP3_TO_WAV}) {
        Fixture f;
        const std::string input = f.out + "/notes.mp3";  // in the save folder: must survive
        const std::string text = "just some text, not audio\n";
        test::WriteFileBytes(input, std::vector<uint8_t>(text.begin(), text.end()));
        f.w.fileAnswers.push_back({W(input)});
        OpResult result;
        RunButton(f.w, button, &result);
        EXPECT_EQ(result, OpResult::kFailed);
        ASSERT_EQ(f.w.logTexts.size(), 1u);
        EXPECT_EQ(f.w.logTexts[0], T("MP3_DECODE_OK") + u"0 PCM Bytes, " + W(std::to_string(text.size())) +
                                       u" MP3 Bytes.\n");
        EXPECT_EQ(test::ReadFileBytes(input).size(), text.size());
        EXPECT_FALSE(fs::exists(f.out + "/notes.wav"));
        EXPECT_TRUE(f.w.opened.empty());
    }
}

TEST(Mp3ToWav, NamesAndTheInputIsNeverReplaced) {
    struct Case {
        const char *input, *wav;
    } cases[] = {{"a.mp3", "a.wav"}, {"a.mp3.mp3", "a.wav.wav"}, {"A.MP3", "A.wav"}, {"noext", "noext.wav"}};
    for (const auto& c : cases) {
        Fixture f;
        const std::string input = f.out + "/" + c.input;  // lying in the save folder
        MakeCameraMp3(input, 1.0);
        const auto before = test::ReadFileBytes(input);
        f.w.fileAnswers.push_back({W(input)});
        EXPECT_EQ(OnMp3ToWav(f.w), OpResult::kDone) << c.input;
        const std::string wav = f.out + "/" + c.wav;
        ASSERT_EQ(f.w.logTexts.size(), 2u);
        EXPECT_EQ(f.w.logTexts[1], u"PCM " + T("FILE_SAVE_OK") + u":" + W(wav));
        EXPECT_EQ(test::ReadFileBytes(input), before);
        const auto probe = test::Probe(wav);
        EXPECT_EQ(probe.codec, "pcm_s16le");
        EXPECT_EQ(probe.sampleRate, 16000);
        EXPECT_TRUE(f.w.opened.empty());
    }
    // A link named like the WAV that leads back to the input: refused.
    Fixture f;
    const std::string input = f.dir / "x.wav.mp3";
    MakeCameraMp3(input, 1.0);
    fs::create_symlink(input, f.out + "/x.wav.wav");
    f.w.fileAnswers.push_back({W(input)});
    EXPECT_EQ(OnMp3ToWav(f.w), OpResult::kFailed);
    ASSERT_GE(f.w.logTexts.size(), 2u);
    EXPECT_EQ(f.w.logTexts.end()[-2], u"PCM " + T("FILE_SAVE_FAILED"));
    EXPECT_EQ(f.w.logTexts.back(), W(f.out + "/x.wav.wav") + u": the input itself");
    EXPECT_EQ(test::Probe(input).codec, "mp3");
}

TEST(Conversions, RateAndTextBeforeTheDialog) {
    for (int button : {IDC_CONVERT, IDC_MP3_TO_WAV, IDC_BATCH_CONVERT}) {
        Fixture empty;
        empty.w.SetItemText(IDC_TEXT, u"");
        RunButton(empty.w, button);
        EXPECT_EQ(empty.w.logTexts, std::vector<std::u16string>{T("PLEASE_INPUT_TEXT")});
        EXPECT_TRUE(empty.w.dialogTitles.empty()) << "no dialog without a text";

        Fixture cancelled;
        RunButton(cancelled.w, button);
        EXPECT_EQ(cancelled.w.dialogTitles.size(), 1u);
        EXPECT_TRUE(cancelled.w.logTexts.empty());
        EXPECT_TRUE(cancelled.w.boxes.empty());
    }
    // The text itself changes nothing in what is written.
    std::vector<uint8_t> outputs[2];
    const std::u16string texts[] = {u"a", u"another text entirely"};
    for (int i = 0; i < 2; ++i) {
        Fixture f;
        const std::string input = f.dir / "t.mp3";
        MakeCameraMp3(input, 1.0);
        f.w.SetItemText(IDC_TEXT, texts[i]);
        f.w.fileAnswers.push_back({W(input)});
        OnConvertMp3(f.w);
        outputs[i] = test::ReadFileBytes(f.out + "/t.mp3");
    }
    EXPECT_FALSE(outputs[0].empty());
    EXPECT_EQ(outputs[0], outputs[1]);
}

TEST(BatchConvert, EmptySecondFileAndUnreadableFileEndTheBatch) {
    Fixture f;
    const std::string one = f.dir / "one.mp3", two = f.dir / "two.mp3", three = f.dir / "three.mp3";
    MakeCameraMp3(one, 1.0);
    test::WriteFileBytes(two, {});
    MakeCameraMp3(three, 1.5);
    f.w.fileAnswers.push_back({W(one), W(two), W(three)});
    EXPECT_EQ(OnBatchConvert(f.w), OpResult::kFailed);
    ASSERT_EQ(f.w.logTexts.size(), 5u);
    EXPECT_EQ(f.w.logTexts[1], f.SavedLine(f.out + "/one.mp3", fs::file_size(f.out + "/one.mp3")));
    EXPECT_EQ(f.w.logTexts[2], T("MP3_DECODE_FAILED"));
    EXPECT_EQ(f.w.logTexts[4], f.SavedLine(f.out + "/three.mp3", fs::file_size(f.out + "/three.mp3")));
    EXPECT_TRUE(f.w.opened.empty());

    // A file that cannot be read: its box names it, the rest are not converted.
    Fixture g;
    fs::create_directory(g.dir / "folder.mp3");
    g.w.fileAnswers.push_back({W(one), W(g.dir / "folder.mp3"), W(three)});
    EXPECT_EQ(OnBatchConvert(g.w), OpResult::kFailed);
    EXPECT_EQ(g.w.logTexts.size(), 2u);
    ASSERT_EQ(g.w.boxes.size(), 1u);
    EXPECT_NE(g.w.boxes[0].text.find(u"folder.mp3"), std::u16string::npos);
    EXPECT_NE(g.w.boxes[0].text.find(T("BATCH_REST_SKIPPED")), std::u16string::npos);
    EXPECT_FALSE(fs::exists(g.out + "/three.mp3"));
}

TEST(ConvertFiles, ParallelRunsKeepEachFilesLinesInInputOrder) {
    // Two inputs map to the same output: the later one is refused before
    // anything is written, in order or in parallel.
    test::TempDir dir;
    fs::create_directory(dir.path() / "a");
    std::vector<std::string> inputs;
    for (int i = 0; i < 6; ++i) {
        const std::string name = i == 4 ? dir / "a/f1.mp3" : dir / ("f" + std::to_string(i) + ".mp3");
        MakeCameraMp3(name, 0.5 + 0.25 * i);
        inputs.push_back(name);
    }
    inputs.push_back(dir / "missing.mp3");
    std::vector<std::u16string> logs[2];
    std::vector<uint8_t> winner[2];
    for (int run = 0; run < 2; ++run) {
        test::MemoryWindow w;
        ConvertBatch batch;
        batch.saveDir = dir / ("out" + std::to_string(run));
        fs::create_directory(batch.saveDir);
        batch.jobs = run == 0 ? 1 : 4;
        std::vector<size_t> progress;
        batch.progress = [&](size_t done, size_t, OpResult) { progress.push_back(done); };
        EXPECT_EQ(ConvertFiles(w, inputs, batch), OpResult::kFailed);
        EXPECT_EQ(progress, (std::vector<size_t>{1, 2, 3, 4, 5, 6, 7}));
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_NE(w.boxes[0].text.find(u"missing.mp3"), std::u16string::npos);
        for (auto& line : w.logTexts) {
            line = line.substr(0, line.find(u":"));  // paths differ by folder
            if (line.find(u" -> ") != std::u16string::npos) line = line.substr(0, line.find(u" -> "));
        }
        logs[run] = w.logTexts;
        winner[run] = test::ReadFileBytes(batch.saveDir + "/f1.mp3");
    }
    EXPECT_EQ(logs[1], logs[0]);
    ASSERT_EQ(logs[0].size(), 11u);
    EXPECT_EQ(logs[0][8], W(inputs[4]));
    EXPECT_EQ(winner[1], winner[0]);
    std::vector<int16_t> samples;
    ASSERT_TRUE(test::DecodeWithMpg123(dir / "out1/f1.mp3", &samples));
    EXPECT_NEAR(samples.size() / 16000.0, 0.9, 0.1);  // f1.mp3 (0.75 s and padding), not a/f1.mp3 (1.5 s)
}

}  // namespace
}  // namespace tesvano
