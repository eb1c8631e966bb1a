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

// A stereo stream that later carries mono frames: those play on both sides.
TEST(Mp3Decoder, MonoFramesInAStereoStream) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "tools missing";
    test::TempDir dir;
    const std::string stereo = dir / "s.mp3", mono = dir / "m.mp3", both = dir / "both.mp3";
    ASSERT_TRUE(test::MakeMp3({"s", 44100, 2, "lame", {"-b", "128", "-t"}, 1.0}, dir.str(), stereo));
    ASSERT_TRUE(test::MakeMp3({"m", 44100, 1, "lame", {"-b", "64", "-t"}, 5.0}, dir.str(), mono));
    auto bytes = test::ReadFileBytes(stereo);
    const auto tail = test::ReadFileBytes(mono);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    test::WriteFileBytes(both, bytes);

    const auto first = DecodeFile(stereo, 44100, 2);
    const auto all = DecodeFile(both, 44100, 2);
    ASSERT_EQ(all.rc, kDecodeOk);
    // The hip decoder resyncs only on frames like the first; it is restarted
    // when it loses the stream, so most of the mono part comes through.
    ASSERT_GT(all.samples.size(), first.samples.size() + 2 * 44100 * 3);
    size_t differ = 0;
    for (size_t i = 0; i + 1 < first.samples.size(); i += 2) differ += first.samples[i] != first.samples[i + 1];
    EXPECT_GT(differ, first.samples.size() / 4);  // the stereo part has two different sides
    // Past the stereo part (and one frame of overlap), every pair is equal.
    for (size_t i = first.samples.size() + 2 * 1152; i + 1 < all.samples.size(); i += 2)
        ASSERT_EQ(all.samples[i], all.samples[i + 1]) << i;
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
        {"random", random, kDecodeOk, false},
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
