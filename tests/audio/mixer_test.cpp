#include <gtest/gtest.h>

#include <vector>

#include "audio/mixer.h"

namespace tesvano {
namespace {

PcmBuffer Pcm(std::initializer_list<int16_t> samples) {
    PcmBuffer b(samples.size() * 2);
    size_t i = 0;
    for (int16_t s : samples) StoreSample(b.data() + 2 * i++, s);
    return b;
}

std::vector<int16_t> Samples(const PcmBuffer& b) {
    std::vector<int16_t> v(b.size() / 2);
    for (size_t i = 0; i < v.size(); ++i) v[i] = LoadSample(b.data() + 2 * i);
    return v;
}

TEST(MixBackgroundMusic, MusicUnderTheVoice) {
    struct Case {
        const char* what;
        PcmBuffer voice, music;
        int volume;
        std::vector<int16_t> expect;
    };
    const Case cases[] = {
        {"music repeats", Pcm({1000, -1000, 2000}), Pcm({400, -400}), 50, {600, -600, 1100}},
        {"scale truncates toward zero, average floors", Pcm({0}), Pcm({-399}), 50, {-100}},
        {"volume 0 halves the voice", Pcm({-3, 3, 32767, -32768}), Pcm({12345}), 0, {-2, 1, 16383, -16384}},
        {"volume 100 averages", Pcm({32767, -32768}), Pcm({32767, -32768}), 100, {32767, -32768}},
        {"longer music is cut", Pcm({10, 10}), Pcm({30, 50, 70, 90}), 100, {20, 30}},
        {"volume outside the trackbar is held to 0..100", Pcm({0, 0}), Pcm({32767, -32768}), 1000000, {16383, -16384}},
        {"negative volume counts as 0", Pcm({-3}), Pcm({1000}), -50, {-2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PcmBuffer voice = c.voice;
        MixBackgroundMusic(voice, c.music, MixMode::kUnderVoice, c.volume);
        EXPECT_EQ(Samples(voice), c.expect);
    }
}

TEST(MixBackgroundMusic, Concatenation) {
    PcmBuffer voice(1000, 0xAA), music(300, 0x55);
    MixBackgroundMusic(voice, music, MixMode::kAroundVoice, 50);
    ASSERT_EQ(voice.size(), 1600u);
    EXPECT_EQ(PcmBuffer(voice.begin(), voice.begin() + 300), music);
    EXPECT_EQ(PcmBuffer(voice.begin() + 300, voice.begin() + 1300), PcmBuffer(1000, 0xAA));
    EXPECT_EQ(PcmBuffer(voice.begin() + 1300, voice.end()), music);

    struct Case {
        MixMode mode;
        std::vector<int16_t> expect;
    };
    const Case cases[] = {
        {MixMode::kBeforeVoice, {7, 8, 1, 2, 3}},
        {MixMode::kAfterVoice, {1, 2, 3, 7, 8}},
        {MixMode::kAroundVoice, {7, 8, 1, 2, 3, 7, 8}},
        {static_cast<MixMode>(4), {1, 2, 3}},
        {static_cast<MixMode>(-1), {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        PcmBuffer v = Pcm({1, 2, 3});
        MixBackgroundMusic(v, Pcm({7, 8}), c.mode, 100);
        EXPECT_EQ(Samples(v), c.expect);
    }
}

TEST(MixBackgroundMusic, NothingWithoutVoiceOrMusic) {
    for (int mode = 0; mode <= 3; ++mode) {
        SCOPED_TRACE(mode);
        PcmBuffer voice = Pcm({100, -100}), none;
        MixBackgroundMusic(voice, none, static_cast<MixMode>(mode), 50);
        EXPECT_EQ(Samples(voice), (std::vector<int16_t>{100, -100}));
        PcmBuffer empty;
        MixBackgroundMusic(empty, Pcm({5}), static_cast<MixMode>(mode), 50);
        EXPECT_TRUE(empty.empty());
        // One byte of music holds no sample: nothing to lay under the voice.
        PcmBuffer v2 = Pcm({100});
        MixBackgroundMusic(v2, PcmBuffer(1, 0x7F), MixMode::kUnderVoice, 50);
        EXPECT_EQ(Samples(v2), (std::vector<int16_t>{100}));
    }
}

TEST(ShortenMusic, KeepsTheStartAndFadesTheCut) {
    PcmBuffer music = Pcm({1000, 1000, 1000, 1000, 1000, 1000, -1000, -1000});
    ShortenMusic(music, 5, 3);
    // Untouched up to the fade, then falling towards silence at the cut.
    EXPECT_EQ(Samples(music), (std::vector<int16_t>{1000, 1000, 750, 500, 250}));

    PcmBuffer shorter = Pcm({7, 8});
    ShortenMusic(shorter, 5, 3);
    EXPECT_EQ(Samples(shorter), (std::vector<int16_t>{7, 8})) << "music already short enough stays whole";
    PcmBuffer gone = Pcm({7, 8});
    ShortenMusic(gone, 0, 3);
    EXPECT_TRUE(gone.empty());
}

}  // namespace
}  // namespace tesvano
