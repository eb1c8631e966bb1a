#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/mp3_decoder.h"
#include "audio/resampler.h"
#include "platform/file.h"
#include "tests/audio/mp3_fixtures.h"
#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

#ifdef TESVANO_SANITIZE
constexpr uint64_t kZeroFileBytes = 20u << 20;  // the sanitizers slow the decoder tenfold
#else
constexpr uint64_t kZeroFileBytes = 200u << 20;
#endif

std::vector<int16_t> AsSamples(const uint8_t* bytes, size_t length) {
    std::vector<int16_t> v(length / 2);
    if (!v.empty()) std::memcpy(v.data(), bytes, v.size() * 2);
    return v;
}

struct Decoded {
    int rc;
    std::vector<int16_t> samples;
    std::string statistics;
};

Decoded DecodeFile(const std::string& path, int rate, int channels) {
    CAudioDecodeMp3 d(path, rate, channels);
    Decoded r;
    r.rc = d.Decode();
    r.samples = AsSamples(d.output(), d.outputLength());
    r.statistics = d.statistics();
    if (r.rc == kDecodeOk) {
        EXPECT_EQ(d.outputCapacity(), (d.outputLength() / 1024 + 1) * 1024);
    }
    return r;
}

// mpg123's decode of the file, brought to what our decoder should deliver:
// stereo averaged to mono as (l + r) >> 1, then the resampler as one block.
std::vector<int16_t> ReferenceDecode(const std::string& path, int fileChannels, int fileRate, int rate, int channels) {
    std::vector<int16_t> ref;
    EXPECT_TRUE(test::DecodeWithMpg123(path, &ref));
    if (fileChannels == channels && fileRate == rate) return ref;
    if (fileChannels == 2 && channels == 1) {
        for (size_t i = 0; i < ref.size() / 2; ++i) ref[i] = int16_t((ref[2 * i] + ref[2 * i + 1]) >> 1);
        ref.resize(ref.size() / 2);
    }
    if (fileRate == rate) return ref;
    ResamplerPtr r(CreateResampler(1, 1, rate, fileRate));
    std::vector<uint8_t> out(ResampleOutputCapacity(r.get(), uint32_t(ref.size() * 2)));
    const int n = Resample(r.get(), ref.data(), out.data(), uint32_t(ref.size() * 2));
    return AsSamples(out.data(), size_t(n));
}

TEST(Mp3Decoder, AgreesWithMpg123) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "lame, ffmpeg or mpg123 missing";
    struct Case {
        test::Mp3Recipe file;
        int rate, channels;
    };
    const std::vector<Case> cases = {
        {{"m16", 16000, 1, "lame", {"-b", "32"}}, 16000, 1},
        {{"m8", 8000, 1, "lame", {"-b", "16"}}, 8000, 1},
        {{"m8vbr", 8000, 1, "lame", {"-V", "6"}}, 16000, 1},
        {{"m16tag", 16000, 1, "lame", {"-b", "24", "--add-id3v2", "--pad-id3v2-size", "300", "--tt", "t"}}, 16000, 1},
        {{"m22", 22050, 1, "lame", {"-V", "4"}}, 16000, 1},
        {{"s22", 22050, 2, "ffmpeg", {"-b:a", "64k"}}, 8000, 1},
        {{"s44", 44100, 2, "lame", {"-b", "128"}}, 16000, 1},
        {{"s44v", 44100, 2, "lame", {"-V", "2"}}, 8000, 1},
        {{"s44keep", 44100, 2, "lame", {"-b", "160"}}, 44100, 2},
        {{"s48", 48000, 2, "ffmpeg", {"-q:a", "4"}}, 16000, 1},  // VBR, with ffmpeg's ID3v2 tag
        {{"s48c", 48000, 2, "ffmpeg", {"-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0"}}, 8000, 1},
        {{"s8", 8000, 2, "lame", {"-b", "24"}}, 8000, 1},
        {{"s11", 11025, 2, "lame", {"-V", "5"}}, 16000, 1},
        {{"m12", 12000, 1, "ffmpeg", {"-b:a", "24k"}}, 8000, 1},
        {{"s16v", 16000, 2, "ffmpeg", {"-q:a", "6"}}, 16000, 1},
        {{"s24v", 24000, 2, "ffmpeg", {"-q:a", "3"}}, 16000, 1},
        {{"m32v", 32000, 1, "lame", {"-V", "3"}}, 16000, 1},
        {{"s32", 32000, 2, "ffmpeg", {"-b:a", "96k"}}, 8000, 1},
        {{"m48", 48000, 1, "lame", {"-b", "64"}}, 16000, 1},
        {{"m48keep", 48000, 1, "ffmpeg", {"-b:a", "64k"}}, 48000, 1},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.name);
        const std::string path = dir / (std::string(c.file.name) + ".mp3");
        ASSERT_TRUE(test::MakeMp3(c.file, dir.str(), path));
        const auto ours = DecodeFile(path, c.rate, c.channels);
        ASSERT_EQ(ours.rc, kDecodeOk);
        const auto ref = ReferenceDecode(path, c.file.channels, c.file.rate, c.rate, c.channels);
        const bool resampled = c.file.rate != c.rate || c.file.channels != c.channels;

        // Within one frame of length, and sample by sample within the rounding
        // of two decoders (plus the interpolation's own rounding when resampled).
        const long frame = (c.file.rate >= 32000 ? 1152L : 576L) * c.rate / c.file.rate * c.channels;
        EXPECT_NEAR(long(ours.samples.size()), long(ref.size()), frame + 2 * c.channels);
        const long lag = test::BestLag(ours.samples, ref, 2 * frame);
        EXPECT_EQ(lag % c.channels, 0);
        size_t overlap = 0;
        EXPECT_LE(test::MaxDifference(ours.samples, ref, lag, &overlap), resampled ? 2 : 1) << "lag " << lag;
        EXPECT_GE(long(overlap), long(ref.size()) - 2 * frame);
        EXPECT_GT(overlap, size_t(c.rate * c.channels * 2));
    }
}

// A leading ID3v2 tag is skipped by its size bytes, taken whole.
TEST(Mp3Decoder, SkipsId3v2Tag) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    test::TempDir dir;
    const std::string plain = dir / "plain.mp3";
    ASSERT_TRUE(test::MakeMp3({"plain", 16000, 1, "lame", {"-b", "32", "-t"}, 2.0}, dir.str(), plain));
    const auto audio = test::ReadFileBytes(plain);
    const auto expect = DecodeFile(plain, 16000, 1);
    ASSERT_GT(expect.samples.size(), 16000u);

    struct Case {
        uint8_t size[4];
        size_t start;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x02, 0x01}, 267},
        {{0x00, 0x00, 0x00, 0x80}, 138},  // a set high bit counts: 128 + 10
        {{0x00, 0x00, 0x00, 0x00}, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        // The tag's body looks like MP3 frames: not skipping it would show.
        std::vector<uint8_t> file = {'I', 'D', '3', 3, 0, 0, c.size[0], c.size[1], c.size[2], c.size[3]};
        for (size_t i = 10; i < c.start; ++i) file.push_back(i % 4 == 2 ? 0xFF : i % 4 == 3 ? 0xFB : uint8_t(i * 37));
        file.insert(file.end(), audio.begin(), audio.end());
        const std::string path = dir / "tagged.mp3";
        test::WriteFileBytes(path, file);
        const auto got = DecodeFile(path, 16000, 1);
        ASSERT_EQ(got.rc, kDecodeOk);
        EXPECT_EQ(got.samples, expect.samples);
        EXPECT_NE(got.statistics.find("共读取数据" + std::to_string(file.size() - c.start) + ","), std::string::npos)
            << got.statistics;
    }
}

TEST(Mp3Decoder, StatisticsTrace) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    test::TempDir dir;
    const std::string path = dir / "a.mp3";
    ASSERT_TRUE(test::MakeMp3({"a", 8000, 1, "lame", {"-b", "16"}, 1.0}, dir.str(), path));
    CAudioDecodeMp3 d(path, 8000, 1);
    ASSERT_EQ(d.Decode(), kDecodeOk);
    const std::string size = std::to_string(test::ReadFileBytes(path).size());
    const std::string pcm = std::to_string(d.outputLength());
    const std::string& s = d.statistics();
    EXPECT_EQ(s.rfind("文件长" + size + ",共读取数据" + size + ",输出PCM长度" + pcm + ",花费时间", 0), 0u) << s;
    EXPECT_NE(s.find("ms. 输出缓冲区数据长度" + pcm), std::string::npos) << s;
}

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(gen());
    return v;
}

// Whether `all` ends with the last `length` samples of `tail`, within 1: the
// synthesis filter sums in another order after a resync.
bool EndsWith(const std::vector<int16_t>& all, const std::vector<int16_t>& tail, size_t length) {
    if (length > all.size() || length > tail.size()) return false;
    for (size_t i = 1; i <= length; ++i)
        if (std::abs(all[all.size() - i] - tail[tail.size() - i]) > 1) return false;
    return true;
}

// Frames lost where a stream resumes: the one held back, those that refill
// the bit reservoir (512 bytes) and the decoder's history (two), and any
// that the last junk frame (up to 2881 bytes) ran into.
size_t ResumeLoss(size_t fileBytes, size_t frames, bool afterJunk) {
    const size_t frameBytes = fileBytes / frames;
    return 3 + (512 + (afterJunk ? 2881 : 0)) / (frameBytes > 40 ? frameBytes - 40 : 1) + 1;
}

// The first frame fixes rate and layout: frames of another rate or layout
// are dropped, and when the first kind returns it is decoded again, less the
// frame or two that resynchronise.
TEST(Mp3Decoder, FramesOfAnotherConfigurationAreDropped) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    struct Case {
        const char* what;
        test::Mp3Recipe first, other;
        int rate, channels;
    };
    const Case cases[] = {
        {"16 kHz then 8 kHz", {"a", 16000, 1, "lame", {"-b", "32"}, 2.0}, {"b", 8000, 1, "lame", {"-b", "16"}, 2.0},
         16000, 1},
        {"8 kHz then 16 kHz", {"a", 8000, 1, "ffmpeg", {"-b:a", "16k"}, 2.0},
         {"b", 16000, 1, "ffmpeg", {"-b:a", "32k"}, 2.0}, 16000, 1},
        {"stereo then mono", {"a", 44100, 2, "lame", {"-b", "128", "-t"}, 1.0},
         {"b", 44100, 1, "lame", {"-b", "64", "-t"}, 3.0}, 44100, 2},
        {"mono then stereo at 16 kHz", {"a", 22050, 1, "lame", {"-b", "32"}, 1.5},
         {"b", 16000, 2, "lame", {"-b", "64"}, 1.5}, 8000, 1},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string a = dir / "a.mp3", b = dir / "b.mp3", a2 = dir / "a2.mp3";
        ASSERT_TRUE(test::MakeMp3(c.first, dir.str(), a));
        ASSERT_TRUE(test::MakeMp3(c.other, dir.str(), b));
        test::Mp3Recipe again = c.first;
        again.name = "a2";
        ASSERT_TRUE(test::MakeMp3(again, dir.str(), a2));
        const auto bytesA = test::ReadFileBytes(a), bytesB = test::ReadFileBytes(b);
        const auto alone = DecodeFile(a, c.rate, c.channels);
        ASSERT_GT(alone.samples.size(), size_t(c.rate / 2));

        // A then B: exactly A's audio, nothing of B at A's settings.
        test::WriteFileBytes(dir / "ab.mp3", Concat({bytesA, bytesB}));
        const auto ab = DecodeFile(dir / "ab.mp3", c.rate, c.channels);
        ASSERT_EQ(ab.rc, kDecodeOk);
        EXPECT_EQ(ab.samples, alone.samples);

        // A, B, A again: both A parts; at most two frames of the second lost.
        if (c.first.rate != c.rate || c.first.channels != c.channels) continue;  // the resampler's state runs on
        test::WriteFileBytes(dir / "aba.mp3", Concat({bytesA, bytesB, test::ReadFileBytes(a2)}));
        const auto aba = DecodeFile(dir / "aba.mp3", c.rate, c.channels);
        const auto second = DecodeFile(a2, c.rate, c.channels);
        const size_t frame = (c.first.rate >= 32000 ? 1152u : 576u) * size_t(c.channels);
        ASSERT_EQ(aba.rc, kDecodeOk);
        EXPECT_LE(aba.samples.size(), alone.samples.size() + second.samples.size());
        const size_t loss = ResumeLoss(bytesA.size(), alone.samples.size() / frame, false);
        EXPECT_GE(aba.samples.size() + loss * frame, alone.samples.size() + second.samples.size());
        EXPECT_TRUE(std::equal(alone.samples.begin(), alone.samples.end(), aba.samples.begin()));
        EXPECT_TRUE(EndsWith(aba.samples, second.samples, aba.samples.size() - alone.samples.size()));
    }
}

// A stream that began mono takes later stereo frames of its rate, averaged
// as (l + r) >> 1; what comes after them is decoded too.
TEST(Mp3Decoder, StereoFramesInAMonoStreamAreAveraged) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    struct Case {
        const char* what;
        int rate;
        const char *monoRate, *stereoRate;  // high enough that lame keeps the rate
    };
    const Case cases[] = {{"22050 Hz", 22050, "32", "96"}, {"16000 Hz", 16000, "32", "64"}, {"44100 Hz", 44100, "64", "160"}};
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string a = dir / "a.mp3", b = dir / "b.mp3";
        ASSERT_TRUE(test::MakeMp3({"a", c.rate, 1, "lame", {"-b", c.monoRate}, 1.5}, dir.str(), a));
        ASSERT_TRUE(test::MakeMp3({"b", c.rate, 2, "lame", {"-b", c.stereoRate, "-m", "s"}, 1.5}, dir.str(), b));
        const auto bytesA = test::ReadFileBytes(a), bytesB = test::ReadFileBytes(b);
        const auto alone = DecodeFile(a, c.rate, 1);
        const auto refB = ReferenceDecode(b, 2, c.rate, c.rate, 1);
        ASSERT_GT(refB.size(), size_t(c.rate));

        test::WriteFileBytes(dir / "ab.mp3", Concat({bytesA, bytesB}));
        const auto ab = DecodeFile(dir / "ab.mp3", c.rate, 1);
        ASSERT_EQ(ab.rc, kDecodeOk);
        ASSERT_GE(ab.samples.size(), alone.samples.size());
        EXPECT_TRUE(std::equal(alone.samples.begin(), alone.samples.end(), ab.samples.begin()));
        // All of B's frames (and its LAME tag frame, silent, which only a
        // stream's first frame is taken as), the first two decoded over A's
        // filter history.
        const size_t frame = c.rate >= 32000 ? 1152u : 576u;
        EXPECT_NEAR(double(ab.samples.size()), double(alone.samples.size() + refB.size()), frame);
        EXPECT_TRUE(EndsWith(ab.samples, refB, refB.size() - 2 * frame));

        // Mono again after the stereo part: still decoded, not cut off.
        test::WriteFileBytes(dir / "aba.mp3", Concat({bytesA, bytesB, bytesA}));
        const auto aba = DecodeFile(dir / "aba.mp3", c.rate, 1);
        EXPECT_NEAR(double(aba.samples.size()), double(2 * alone.samples.size() + refB.size()), 2 * frame);
        EXPECT_TRUE(EndsWith(aba.samples, alone.samples, alone.samples.size() - 2 * frame));
    }
}

// Random bytes after the audio (a picture or tag at the end), or between two
// pieces of audio, add nothing: the output is the audio's, sample for sample.
TEST(Mp3Decoder, JunkAddsNothing) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    const test::Mp3Recipe recipes[] = {
        {"m16", 16000, 1, "lame", {"-b", "32"}, 2.0},
        {"s44", 44100, 2, "lame", {"-b", "128"}, 2.0},
        {"s48v", 48000, 2, "ffmpeg", {"-q:a", "4"}, 2.0},
        {"m8", 8000, 1, "ffmpeg", {"-b:a", "16k"}, 2.0},
    };
    test::TempDir dir;
    for (const auto& r : recipes) {
        SCOPED_TRACE(r.name);
        const std::string path = dir / "a.mp3";
        ASSERT_TRUE(test::MakeMp3(r, dir.str(), path));
        const auto audio = test::ReadFileBytes(path);
        const auto clean = DecodeFile(path, r.rate, r.channels);
        ASSERT_GT(clean.samples.size(), size_t(r.rate));
        for (uint32_t seed = 1; seed <= 5; ++seed) {
            SCOPED_TRACE(seed);
            const auto junk = RandomBytes(40960, seed);
            test::WriteFileBytes(dir / "j.mp3", Concat({audio, junk}));
            const auto after = DecodeFile(dir / "j.mp3", r.rate, r.channels);
            ASSERT_EQ(after.rc, kDecodeOk);
            EXPECT_EQ(after.samples, clean.samples);

            test::WriteFileBytes(dir / "j.mp3", Concat({audio, junk, audio}));
            const auto between = DecodeFile(dir / "j.mp3", r.rate, r.channels);
            const size_t frame = (r.rate >= 32000 ? 1152u : 576u) * size_t(r.channels);
            EXPECT_LE(between.samples.size(), 2 * clean.samples.size());
            const size_t loss = ResumeLoss(audio.size(), clean.samples.size() / frame, true);
            EXPECT_GE(between.samples.size() + loss * frame, 2 * clean.samples.size());
            EXPECT_TRUE(std::equal(clean.samples.begin(), clean.samples.end(), between.samples.begin()));
            EXPECT_TRUE(EndsWith(between.samples, clean.samples, between.samples.size() - clean.samples.size()));
        }
    }
}

// Files that are not MPEG audio give success with no PCM at all; common
// containers are recognised by their first bytes. Headerless PCM tones
// must not crash the decoder.
TEST(Mp3Decoder, OtherFilesGiveNoAudio) {
    if (!test::ProgramExists("ffmpeg") || !test::ProgramExists("sox")) GTEST_SKIP() << "ffmpeg or sox missing";
    test::TempDir dir;
    struct Case {
        std::string name;
        std::vector<std::string> argv;  // makes dir/name
        bool container;
    };
    auto tone = [&](int rate, int channels, const std::string& name, std::vector<std::string> codec) {
        std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                         "sine=frequency=440:duration=2:sample_rate=" + std::to_string(rate), "-ac",
                                         std::to_string(channels)};
        argv.insert(argv.end(), codec.begin(), codec.end());
        argv.push_back(dir / name);
        return argv;
    };
    std::vector<Case> cases;
    for (int rate : {8000, 11025, 16000, 22050, 32000, 44100, 48000}) {
        for (int channels : {1, 2}) {
            const std::string base = "tone" + std::to_string(rate) + "_" + std::to_string(channels);
            cases.push_back({base + ".wav", tone(rate, channels, base + ".wav", {"-c:a", "pcm_s16le"}), true});
            cases.push_back({base + ".raw", tone(rate, channels, base + ".raw", {"-f", "s16le"}), false});
        }
    }
    cases.push_back({"tone.ogg", tone(16000, 1, "tone.ogg", {"-c:a", "libvorbis"}), true});
    cases.push_back({"tone.opus", tone(48000, 2, "tone.opus", {"-c:a", "libopus"}), true});
    cases.push_back({"tone.flac", tone(44100, 2, "tone.flac", {"-c:a", "flac"}), true});
    cases.push_back({"tone.m4a", tone(44100, 2, "tone.m4a", {"-c:a", "aac"}), true});
    cases.push_back({"tone.mp4", tone(16000, 1, "tone.mp4", {"-c:a", "aac"}), true});
    cases.push_back({"sox.wav", {"sox", "-n", "-r", "22050", "-b", "16", "-c", "2", dir / "sox.wav", "synth", "3",
                                 "sine", "300", "sine", "3000"}, true});
    cases.push_back({"sox.aiff", {"sox", "-n", "-r", "44100", "-b", "16", dir / "sox.aiff", "synth", "1", "noise"},
                     true});
    cases.push_back({"picture.png", {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                     "testsrc=size=320x240", "-frames:v", "1", dir / "picture.png"}, true});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(test::RunProgram(c.argv), 0);
    }
    // Not made here, but certainly not audio: the test program itself.
    test::WriteFileBytes(dir / "program.elf", test::ReadFileBytes("/proc/self/exe"));
    cases.push_back({"program.elf", {}, true});
    const std::string text = "Plain text, not an MP3 file at all, line after line.\n";
    std::vector<uint8_t> lines;
    for (int i = 0; i < 2000; ++i) lines.insert(lines.end(), text.begin(), text.end());
    test::WriteFileBytes(dir / "text.txt", lines);
    cases.push_back({"text.txt", {}, false});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int rate : {8000, 16000}) {
            CAudioDecodeMp3 d(dir / c.name, rate, 1);
            EXPECT_EQ(d.Decode(), kDecodeOk);
            EXPECT_EQ(d.IsOtherContainer(), c.container);
            EXPECT_EQ(d.outputLength() % 2, 0u);
            // Headerless PCM is not recognised: a periodic tone can repeat a
            // chance frame header at the spacing of its own frame length.
            if (c.name.find(".raw") == std::string::npos) {
                EXPECT_EQ(d.outputLength(), 0u);
            }
        }
    }
}

// Random bytes: a chance frame header is dropped unless a second one follows
// exactly at its end, so 10 MB of them give no audio at all.
TEST(Mp3Decoder, RandomBytesGiveNoAudio) {
    test::TempDir dir;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        test::WriteFileBytes(dir / "r.mp3", RandomBytes(262144, seed * 7919));
        CAudioDecodeMp3 d(dir / "r.mp3", seed % 2 ? 8000 : 16000, 1);
        ASSERT_EQ(d.Decode(), kDecodeOk);
        EXPECT_EQ(d.outputLength(), 0u) << seed;
        EXPECT_FALSE(d.IsOtherContainer());
    }
}

TEST(Mp3Decoder, BadInputNeverCrashes) {
    test::TempDir dir;
    std::mt19937 gen(77);
    std::vector<uint8_t> random(300000);
    for (auto& b : random) b = uint8_t(gen());
    std::vector<uint8_t> syncs(100000);  // frame-sync bytes everywhere: many false headers
    for (size_t i = 0; i < syncs.size(); ++i) syncs[i] = i % 4 == 0 ? 0xFF : uint8_t(0xE0 | (gen() & 0x1F));
    const std::string text = "This is not an MP3 file, just some text.\n";
    std::vector<uint8_t> pastEnd = {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    pastEnd.resize(2000, 0xFF);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int rc;
        bool silent;  // success with no PCM at all
    };
    const Case cases[] = {
        {"empty", {}, kDecodeEmptyFile, true},
        {"text", std::vector<uint8_t>(text.begin(), text.end()), kDecodeOk, true},
        {"ID3 size past the end", pastEnd, kDecodeOk, true},
        {"ID3 header only", {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0}, kDecodeOk, true},
        {"short ID3", {'I', 'D', '3'}, kDecodeOk, true},
        {"random", random, kDecodeOk, true},
        {"sync bytes", syncs, kDecodeOk, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir / "bad.mp3";
        test::WriteFileBytes(path, c.bytes);
        for (int rate : {8000, 16000}) {
            const auto got = DecodeFile(path, rate, 1);
            EXPECT_EQ(got.rc, c.rc);
            if (c.silent) {
                EXPECT_TRUE(got.samples.empty());
            }
        }
    }

    if (test::HaveMp3Tools()) {
        const std::string whole = dir / "whole.mp3";
        ASSERT_TRUE(test::MakeMp3({"whole", 44100, 2, "lame", {"-b", "128"}, 2.0}, dir.str(), whole));
        const auto full = DecodeFile(whole, 16000, 1);
        auto bytes = test::ReadFileBytes(whole);
        for (size_t cut : {size_t(1), size_t(417), bytes.size() / 3 + 5, bytes.size() - 3}) {
            SCOPED_TRACE(cut);
            test::WriteFileBytes(dir / "cut.mp3", std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
            const auto got = DecodeFile(dir / "cut.mp3", 16000, 1);
            EXPECT_EQ(got.rc, kDecodeOk);
            EXPECT_LE(got.samples.size(), full.samples.size());
            // What was decoded is the start of the whole file's audio.
            EXPECT_TRUE(std::equal(got.samples.begin(), got.samples.end(), full.samples.begin()));
        }
    }
}

TEST(Mp3Decoder, LongFileOfZerosIsQuick) {
    test::TempDir dir;
    const std::string path = dir / "zeros.mp3";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(kZeroFileBytes)), 0);  // sparse
    ASSERT_EQ(close(fd), 0);
    const auto t0 = std::chrono::steady_clock::now();
    const auto got = DecodeFile(path, 16000, 1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(got.rc, kDecodeOk);
    EXPECT_TRUE(got.samples.empty());
    EXPECT_NE(got.statistics.find("共读取数据" + std::to_string(kZeroFileBytes) + ","), std::string::npos);
    EXPECT_LT(seconds, 30.0);
}

TEST(Mp3Decoder, FilesThatCannotBeRead) {
    test::TempDir dir;
    ASSERT_EQ(mkdir((dir / "folder.mp3").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir / "pipe.mp3").c_str(), 0644), 0);
    struct Case {
        std::string path;
        int error;
    };
    const Case cases[] = {
        {dir / "missing.mp3", ENOENT},
        {dir / "folder.mp3", EISDIR},
        {dir / "pipe.mp3", EINVAL},  // would block an open without a writer
        {dir / "missing/deeper.mp3", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        CAudioDecodeMp3 d(c.path, 16000, 1);
        EXPECT_EQ(d.Decode(), kDecodeFileError);
        EXPECT_EQ(d.LastErrno(), c.error);
        EXPECT_EQ(d.outputLength(), 0u);
    }
    const auto text = DescribeFileError(dir / "missing.mp3", ENOENT);
    EXPECT_NE(text.find(u"missing.mp3"), std::u16string::npos);
    EXPECT_NE(text.find(u"No such file or directory"), std::u16string::npos);
}

TEST(Mp3Decoder, OutputBeyondTheLimitIsAFailure) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    test::TempDir dir;
    const std::string path = dir / "a.mp3";
    ASSERT_TRUE(test::MakeMp3({"a", 16000, 1, "lame", {"-b", "32"}, 2.0}, dir.str(), path));
    CAudioDecodeMp3 full(path, 16000, 1);
    ASSERT_EQ(full.Decode(), kDecodeOk);
    const size_t length = full.outputLength();

    CAudioDecodeMp3 exact(path, 16000, 1);
    exact.SetOutputLimit(length);
    EXPECT_EQ(exact.Decode(), kDecodeOk);
    EXPECT_EQ(exact.outputLength(), length);

    CAudioDecodeMp3 under(path, 16000, 1);
    under.SetOutputLimit(length - 1);
    EXPECT_EQ(under.Decode(), kDecodeFailed);
    EXPECT_EQ(under.outputLength(), 0u);

    // A target the resampler cannot produce is a failure too, not raw audio.
    CAudioDecodeMp3 noRate(path, 0, 1);
    EXPECT_EQ(noRate.Decode(), kDecodeFailed);
}

TEST(Mp3Decoder, OutputBuffer) {
    CAudioDecodeMp3 d("unused.mp3", 16000, 1);
    ASSERT_EQ(d.AllocOutput(3072), 0);
    const std::vector<uint8_t> a(3000, 1), b(72, 2), c(1, 3);
    d.AppendOutput(a.size(), a.data());
    d.AppendOutput(b.size(), b.data());
    EXPECT_EQ(d.outputLength(), 3072u);
    EXPECT_EQ(d.output()[2999], 1);
    EXPECT_EQ(d.output()[3000], 2);
    d.AppendOutput(c.size(), c.data());  // does not fit: everything goes
    EXPECT_EQ(d.outputLength(), 0u);
    EXPECT_EQ(d.outputCapacity(), 3072u);

    ASSERT_EQ(d.AllocOutput(10), 0);  // a new, empty buffer
    EXPECT_EQ(d.outputCapacity(), 10u);
    d.AppendOutput(10, a.data());
    const PcmBuffer taken = d.TakeOutput();
    EXPECT_EQ(taken.size(), 10u);
    EXPECT_EQ(d.outputLength(), 0u);
#ifndef TESVANO_SANITIZE  // the sanitizer's allocator aborts on such a request
    EXPECT_EQ(d.AllocOutput(size_t(-1) / 2), -1);
    EXPECT_EQ(d.outputCapacity(), 0u);
#endif
}

}  // namespace
}  // namespace tesvano
