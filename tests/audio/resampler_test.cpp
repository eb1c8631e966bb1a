#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/resampler.h"

namespace tesvano {
namespace {

// Every rate an MP3 stream can carry, and the rates the program decodes to.
constexpr int kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr int kTargetRates[] = {8000, 16000};

ResamplerPtr Make(int inChannels, int outChannels, int outRate, int inRate) {
    return ResamplerPtr(CreateResampler(inChannels, outChannels, outRate, inRate));
}

// Converts one block into an output sized exactly to the promised capacity,
// so the sanitizer build catches any write past it.
std::vector<int16_t> Convert(Resampler* r, const int16_t* in, size_t samples) {
    const auto bytes = static_cast<uint32_t>(samples * 2);
    std::vector<uint8_t> out(ResampleOutputCapacity(r, bytes));
    const int n = Resample(r, in, out.data(), bytes);
    EXPECT_GE(n, 0);
    EXPECT_LE(size_t(n), out.size());
    std::vector<int16_t> result(size_t(n) / 2);
    if (n > 0) std::memcpy(result.data(), out.data(), size_t(n));
    return result;
}

std::vector<int16_t> Noise(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<int16_t> v(n);
    for (auto& s : v) s = static_cast<int16_t>(d(gen));
    return v;
}

TEST(Resampler, ChannelStateFromTheRatio) {
    struct Case {
        int inRate, outRate, factor, step, inverse;
    };
    const Case cases[] = {
        {44100, 16000, 2, 90316, 32768},
        {44100, 8000, 5, 72253, 13107},
        {48000, 8000, 6, 65536, 10922},
        {8000, 16000, 1, 32768, 65536},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.inRate << " -> " << c.outRate);
        auto r = Make(1, 1, c.outRate, c.inRate);
        ASSERT_TRUE(r);
        const ResamplerChannel& ch = r->channels[0];
        EXPECT_EQ(ch.factor, c.factor);
        EXPECT_EQ(ch.step, c.step);
        EXPECT_EQ(ch.inverse, c.inverse);
        EXPECT_EQ(ch.phase, 65536);
        EXPECT_EQ(ch.countdown, c.factor);
        EXPECT_EQ(ch.lastSample, 0);
        EXPECT_EQ(r->filterChannels, 1);
    }
}

TEST(Resampler, UpsamplingCarriesTheLastSampleIntoTheNextBlock) {
    auto r = Make(1, 1, 16000, 8000);
    const int16_t first[] = {100, 200};
    EXPECT_EQ(Convert(r.get(), first, 2), (std::vector<int16_t>{100, 150}));
    EXPECT_EQ(r->channels[0].lastSample, 200);
    EXPECT_EQ(r->channels[0].phase, 0);
    const int16_t second[] = {400};
    EXPECT_EQ(Convert(r.get(), second, 1), (std::vector<int16_t>{200, 300}));
}

TEST(Resampler, WholeFactorAveragesWithoutInterpolation) {
    auto r = Make(1, 1, 8000, 48000);
    // (6 x 600 x 10922) >> 16 = 599: the inverse truncates.
    const std::vector<int16_t> in = {600, 600, 600, 600, 600, 600, -6, -6, -6, -6, -6, -6, 7};
    EXPECT_EQ(Convert(r.get(), in.data(), in.size()), (std::vector<int16_t>{599, -6}));
    EXPECT_EQ(r->channels[0].countdown, 5);  // 7 waits in the next group
    EXPECT_EQ(r->channels[0].sum, 7);
}

TEST(Resampler, SameRateAndChannelsCopies) {
    auto r = Make(1, 1, 16000, 16000);
    const auto in = Noise(1001, 3);
    std::vector<int16_t> out(in.size());
    EXPECT_EQ(Resample(r.get(), in.data(), out.data(), 2003), 2002);  // odd byte ignored
    EXPECT_EQ(out, in);
}

TEST(Resampler, StereoToMonoAveragesPairsFirst) {
    // 44.1 kHz stereo -> 16 kHz mono is mono of (l + r) >> 1 through the same stages.
    const auto stereo = Noise(2 * 4410, 5);
    std::vector<int16_t> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = int16_t((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
    auto s = Make(2, 1, 16000, 44100);
    auto m = Make(1, 1, 16000, 44100);
    // Convert takes a count of 16-bit values, whatever the channel count.
    const auto got = Convert(s.get(), stereo.data(), stereo.size());
    EXPECT_EQ(got, Convert(m.get(), mono.data(), mono.size()));
    EXPECT_NEAR(double(got.size()), 4410 * 16000.0 / 44100, 2);
}

TEST(Resampler, ChannelArrangements) {
    // 1 -> 2 writes each sample twice.
    auto up = Make(1, 2, 16000, 16000);
    const int16_t mono[] = {5, -7, 9};
    int16_t out2[6 + 32];
    ASSERT_EQ(Resample(up.get(), mono, out2, 6), 12);
    EXPECT_EQ((std::vector<int16_t>(out2, out2 + 6)), (std::vector<int16_t>{5, 5, -7, -7, 9, 9}));

    // 2 -> 6: l, l/2 + r/2 (each halved toward zero), r, then three silent slots.
    auto six = Make(2, 6, 16000, 16000);
    const int16_t pairs[] = {-3, 5, 7, -1};
    int16_t out6[12 + 96];
    ASSERT_EQ(Resample(six.get(), pairs, out6, 8), 24);
    EXPECT_EQ((std::vector<int16_t>(out6, out6 + 12)), (std::vector<int16_t>{-3, 1, 5, 0, 0, 0, 7, 3, -1, 0, 0, 0}));

    // 2 -> 2 at another rate: each side converts on its own state.
    const auto stereo = Noise(2 * 500, 9);
    std::vector<int16_t> left(500), right(500);
    for (size_t i = 0; i < 500; ++i) left[i] = stereo[2 * i], right[i] = stereo[2 * i + 1];
    auto st = Make(2, 2, 16000, 11025);
    std::vector<uint8_t> out(ResampleOutputCapacity(st.get(), 2000));
    const int n = Resample(st.get(), stereo.data(), out.data(), 2000);
    auto l = Make(1, 1, 16000, 11025), r = Make(1, 1, 16000, 11025);
    const auto expectL = Convert(l.get(), left.data(), 500), expectR = Convert(r.get(), right.data(), 500);
    ASSERT_EQ(size_t(n), expectL.size() * 4);
    for (size_t k = 0; k < expectL.size(); ++k) {
        int16_t pair[2];
        std::memcpy(pair, out.data() + 4 * k, 4);
        ASSERT_EQ(pair[0], expectL[k]) << k;
        ASSERT_EQ(pair[1], expectR[k]) << k;
    }
}

TEST(Resampler, RefusedSetUps) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateResampler(3, 1, 16000, 44100), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resampling with input channels greater than 2 unsupported.");

    testing::internal::CaptureStdout();
    const int bad[][4] = {
        {1, 1, 0, 44100}, {1, 1, 16000, 0}, {1, 1, -8000, 16000}, {1, 1, 16000, -1},
        {0, 1, 16000, 8000}, {1, 6, 16000, 8000}, {2, 3, 16000, 8000}, {1, 1, 1, 2000000000},
    };
    for (const auto& b : bad) EXPECT_EQ(CreateResampler(b[0], b[1], b[2], b[3]), nullptr) << b[0] << b[1] << b[2] << b[3];
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    int16_t in[4] = {1, 2, 3, 4}, out[64];
    EXPECT_EQ(Resample(nullptr, in, out, sizeof in), 0);
    EXPECT_EQ(ResampleOutputCapacity(nullptr, sizeof in), 0u);
}

// The conversion as the original algorithm states it, for one unsplit block:
// the reference that the carried-phase handling must not change.
std::vector<int16_t> Reference(const std::vector<int16_t>& in, int inRate, int outRate) {
    auto r = Make(1, 1, outRate, inRate);
    ResamplerChannel c = r->channels[0];
    std::vector<int16_t> avg;
    if (c.factor > 1) {
        for (int16_t s : in) {
            c.sum += s;
            if (--c.countdown == 0) {
                avg.push_back(int16_t((int64_t(c.sum) * c.inverse) >> 16));
                c.countdown = c.factor;
                c.sum = 0;
            }
        }
    } else {
        avg = in;
    }
    if (c.step == 65536 || avg.empty()) return avg;
    std::vector<int16_t> out;
    size_t i = 0;
    int32_t prev = c.lastSample, cur = avg[0], phase = c.phase;
    for (;;) {
        out.push_back(int16_t(((65536 - phase) * prev + phase * cur) >> 16));
        phase += c.step;
        while (phase >= 65536) {
            phase -= 65536;
            if (++i >= avg.size()) return out;
            prev = cur;
            cur = avg[i];
        }
    }
}

TEST(Resampler, OneBlockMatchesTheStatedAlgorithm) {
    for (int inRate : kMp3Rates) {
        for (int outRate : kTargetRates) {
            SCOPED_TRACE(testing::Message() << inRate << " -> " << outRate);
            const auto in = Noise(5000, uint32_t(inRate + outRate));
            auto r = Make(1, 1, outRate, inRate);
            EXPECT_EQ(Convert(r.get(), in.data(), in.size()), Reference(in, inRate, outRate));
        }
    }
}

// Any cut of the input into blocks, at any points, gives the output of one block.
TEST(Resampler, SplittingNeverChangesTheOutput) {
    std::mt19937 gen(2024);
    for (int channels : {1, 2}) {
        for (int outChannels : {1, 2}) {
            if (outChannels == 2 && channels == 1) continue;
            for (int inRate : kMp3Rates) {
                for (int outRate : kTargetRates) {
                    SCOPED_TRACE(testing::Message() << channels << "ch " << inRate << " -> " << outChannels << "ch "
                                                    << outRate);
                    const size_t frames = 2000 + gen() % 1500;
                    const auto in = Noise(frames * size_t(channels), gen());
                    auto whole = Make(channels, outChannels, outRate, inRate);
                    std::vector<uint8_t> expectBytes(ResampleOutputCapacity(whole.get(), uint32_t(in.size() * 2)));
                    const int expectLength =
                        Resample(whole.get(), in.data(), expectBytes.data(), uint32_t(in.size() * 2));
                    expectBytes.resize(size_t(expectLength));

                    for (int trial = 0; trial < 25; ++trial) {
                        auto split = Make(channels, outChannels, outRate, inRate);
                        std::vector<uint8_t> got;
                        size_t pos = 0;
                        while (pos < frames) {
                            // Mostly short blocks (down to none or one frame), some long.
                            const size_t take = std::min(frames - pos, size_t(gen() % 4 == 0 ? gen() % 1200 : gen() % 7));
                            const uint32_t bytes = uint32_t(take * size_t(channels) * 2);
                            std::vector<uint8_t> out(ResampleOutputCapacity(split.get(), bytes));
                            const int n = Resample(split.get(), in.data() + pos * size_t(channels), out.data(), bytes);
                            ASSERT_LE(size_t(n), out.size());
                            got.insert(got.end(), out.begin(), out.begin() + n);
                            pos += take;
                        }
                        ASSERT_EQ(got, expectBytes) << "trial " << trial;
                    }
                }
            }
        }
    }
}

TEST(Resampler, LargeBlocksStayWithinTheStatedCapacity) {
    // Long blocks accumulate the rounding of the step: the capacity must cover it.
    for (auto [inRate, outRate] : {std::pair{8000, 48000}, {11025, 16000}, {44100, 8000}, {8000, 44100}}) {
        SCOPED_TRACE(testing::Message() << inRate << " -> " << outRate);
        auto r = Make(1, 1, outRate, inRate);
        const auto in = Noise(400000, 11);
        const auto out = Convert(r.get(), in.data(), in.size());
        EXPECT_NEAR(double(out.size()), in.size() * double(outRate) / inRate, in.size() * double(outRate) / inRate * 1e-3);
    }
}

}  // namespace
}  // namespace tesvano
