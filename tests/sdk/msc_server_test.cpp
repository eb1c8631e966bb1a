// The engine's speech-server side: the voice map file, the decoding of the
// answers real tools write (ffmpeg, lame), and audio that flows while the
// server is still sending.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>

#include "sdk/msc/answer_decoder.h"
#include "sdk/msc/msc.h"
#include "sdk/msc/server_speech.h"
#include "sdk/msc/voice_map.h"
#include "tests/support/servers.h"
#include "tests/support/speech_server.h"
#include "tests/support/temp_dir.h"

namespace msc {
namespace {

using tesvano::test::SpeechServer;

TEST(VoiceMap, ReadsTheFileAsOperatorsWriteIt) {
    VoiceMap map;
    std::string error;
    ASSERT_TRUE(ParseVoiceMap("\xEF\xBB\xBF# site voices\r\n[Server]\r\nURL = https://tts.example.com/v1/audio/speech\r\n"
                              "model = kokoro   # local\r\nkey_env = TTS_KEY\r\nformat = MP3\r\ntimeout = 30\r\n"
                              "[voices]\r\n  HENRY=am_adam\r\nvixl xiaolin = zf_xiaoxiao\r\n",
                              &map, &error))
        << error;
    EXPECT_EQ(map.server.url, "https://tts.example.com/v1/audio/speech");
    EXPECT_EQ(map.server.model, "kokoro");
    EXPECT_EQ(map.server.keyEnv, "TTS_KEY");
    EXPECT_EQ(map.server.format, ServerFormat::kMp3);
    EXPECT_EQ(map.server.timeoutSeconds, 30);
    ASSERT_NE(map.ServerVoice(" henry"), nullptr);
    EXPECT_EQ(*map.ServerVoice(" henry"), "am_adam");
    EXPECT_EQ(*map.ServerVoice("Vixl Xiaolin"), "zf_xiaoxiao");
    EXPECT_EQ(map.ServerVoice("xiaoyan"), nullptr);
    EXPECT_EQ(map.ServerVoice("nobody"), nullptr);

    ASSERT_TRUE(ParseVoiceMap("", &map, &error));
    EXPECT_TRUE(map.voices.empty());
    EXPECT_EQ(map.server.format, ServerFormat::kWav);
    EXPECT_EQ(map.server.timeoutSeconds, 10);
}

TEST(VoiceMap, RefusesWhatItCannotUseWithTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"henry = alloy\n", "line 1: key outside"},
        {"[server]\nurl = ftp://host/x\n", "line 2: url must be"},
        {"[server]\nurl = http://\n", "line 2: url must be"},
        {"[server]\nurl = http://host/a b\n", "line 2: url must be"},
        {"[server]\nformat = ogg\n", "line 2: format must be"},
        {"[server]\ntimeout = 0\n", "line 2: timeout"},
        {"[server]\ntimeout = 99999\n", "line 2: timeout"},
        {"[server]\ntimeout = 5s\n", "line 2: timeout"},
        {"[server]\nkey_env = MY-KEY\n", "line 2: key_env"},
        {"[server]\nproxy = x\n", "line 2: unknown key 'proxy'"},
        {"[speakers]\n", "line 1: unknown section"},
        {"[server\n", "line 1: a section needs"},
        {"[voices]\nhenry\n", "line 2: expected key = value"},
        {"[server]\nurl = http://h/\n[voices]\nbob = alloy\n", "line 4: no voice 'bob'"},
        {"[server]\nurl = http://h/\n[voices]\nhenry =\n", "line 4: the server's voice name is missing"},
        {"[server]\nurl = http://h/\n[voices]\nhenry = a\nHenry = b\n", "line 5: voice 'henry' is mapped twice"},
        {"[voices]\nhenry = alloy\n", "voices are mapped but [server] has no url"},
    };
    for (const auto& c : cases) {
        VoiceMap map;
        std::string error;
        EXPECT_FALSE(ParseVoiceMap(c.text, &map, &error)) << c.text;
        EXPECT_EQ(error.find(c.error), 0u) << c.text << " gave: " << error;
    }
}

TEST(VoiceMap, SecretsInTheUrlAreMasked) {
    EXPECT_EQ(MaskUrl("https://user:pa/55@host:8443/v1?x=1"), "https://***@host:8443/v1?x=1");
    EXPECT_EQ(MaskUrl("http://host/v1/audio/speech?api_key=abc&voice=x&Token=t#f"),
              "http://host/v1/audio/speech?api_key=***&voice=x&Token=***#f");
    EXPECT_EQ(MaskUrl("http://host/v1?x=1"), "http://host/v1?x=1");
}

// A tone file made by ffmpeg from a lavfi sine, in the answer's form.
struct AnswerCase {
    const char* name;
    ServerFormat format;
    std::vector<std::string> ffmpegOutput;  // codec and container options
    int rate;
    int channels;
};

std::string MakeAnswer(const AnswerCase& c, const tesvano::test::TempDir& dir) {
    const std::string path = dir / "answer";
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                     "sine=frequency=440:duration=1.5:sample_rate=" + std::to_string(c.rate), "-ac",
                                     std::to_string(c.channels)};
    argv.insert(argv.end(), c.ffmpegOutput.begin(), c.ffmpegOutput.end());
    argv.push_back(path);
    if (tesvano::test::RunProgram(argv) != 0) return {};
    const auto bytes = tesvano::test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class AnswerForms : public testing::TestWithParam<AnswerCase> {};

// The same samples whether the answer comes at once or in pieces of 1 to 700
// bytes, at the session's rate, with the tone and length of the file.
TEST_P(AnswerForms, DecodeTheSameInAnyPiecesAtTheSessionRate) {
    if (!tesvano::test::ProgramExists("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const AnswerCase& c = GetParam();
    tesvano::test::TempDir dir;
    const std::string answer = MakeAnswer(c, dir);
    ASSERT_FALSE(answer.empty());
    for (int outRate : {8000, 16000}) {
        SCOPED_TRACE(outRate);
        AnswerDecoder whole(c.format, outRate, 1.0f);
        std::vector<int16_t> a;
        ASSERT_EQ(whole.Feed(reinterpret_cast<const uint8_t*>(answer.data()), answer.size(), &a), 0) << whole.problem();
        ASSERT_EQ(whole.Finish(&a), 0);

        AnswerDecoder pieces(c.format, outRate, 1.0f);
        std::vector<int16_t> b;
        std::mt19937 random(7);
        for (size_t at = 0; at < answer.size();) {
            const size_t n = std::min(answer.size() - at, size_t(random() % 700 + 1));
            ASSERT_EQ(pieces.Feed(reinterpret_cast<const uint8_t*>(answer.data() + at), n, &b), 0) << at;
            at += n;
        }
        ASSERT_EQ(pieces.Finish(&b), 0);
        EXPECT_EQ(a, b);
        EXPECT_NEAR(double(a.size()) / outRate, 1.5, 0.06);
        EXPECT_NEAR(tesvano::test::ToneHz(a.data() + outRate / 4, a.size() - size_t(outRate / 2), outRate), 440.0, 2.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, AnswerForms,
    testing::Values(AnswerCase{"WavS16Mono24k", ServerFormat::kWav, {"-c:a", "pcm_s16le", "-f", "wav"}, 24000, 1},
                    AnswerCase{"WavS16Stereo44k", ServerFormat::kWav,
                               {"-c:a", "pcm_s16le", "-metadata", "title=tone", "-f", "wav"}, 44100, 2},
                    AnswerCase{"WavFloat22k", ServerFormat::kWav, {"-c:a", "pcm_f32le", "-f", "wav"}, 22050, 1},
                    AnswerCase{"WavS24Surround48k", ServerFormat::kWav, {"-c:a", "pcm_s24le", "-f", "wav"}, 48000, 6},
                    AnswerCase{"WavU8At8k", ServerFormat::kWav, {"-c:a", "pcm_u8", "-f", "wav"}, 8000, 1},
                    AnswerCase{"Rf64", ServerFormat::kWav, {"-c:a", "pcm_s16le", "-rf64", "always", "-f", "wav"}, 16000, 1},
                    AnswerCase{"Pcm24k", ServerFormat::kPcm, {"-f", "s16le"}, 24000, 1},
                    AnswerCase{"Mp3Stereo44k", ServerFormat::kMp3, {"-c:a", "libmp3lame", "-b:a", "96k", "-f", "mp3"},
                               44100, 2},
                    AnswerCase{"Mp3Mono24k", ServerFormat::kMp3, {"-c:a", "libmp3lame", "-b:a", "32k", "-f", "mp3"},
                               24000, 1}),
    [](const testing::TestParamInfo<AnswerCase>& p) { return std::string(p.param.name); });

TEST(AnswerDecoderTest, RefusesAnswersThatAreNotAudio) {
    std::string noise(300000, '\0');
    std::mt19937 random(3);
    for (char& ch : noise) ch = char(random());
    const struct {
        ServerFormat format;
        std::string answer;
    } cases[] = {
        {ServerFormat::kWav, "<!DOCTYPE html><html><body>Login</body></html>"},
        {ServerFormat::kWav, "{\"error\":\"unknown voice\"}"},
        {ServerFormat::kWav, std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0\0\x7d\0\0\x02\0\x10\0", 36)},
        {ServerFormat::kWav, std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x55\0\x01\0\x80\x3e\0\0\0\x7d\0\0\x02\0\x10\0"
                                         "data\x10\0\0\0",
                                         44)},  // MP3 inside a WAV
        {ServerFormat::kMp3, "<html><body>502 Bad Gateway</body></html>"},
        {ServerFormat::kMp3, noise},
        {ServerFormat::kPcm, ""},
    };
    for (const auto& c : cases) {
        AnswerDecoder d(c.format, 16000, 1.0f);
        std::vector<int16_t> out;
        int result = d.Feed(reinterpret_cast<const uint8_t*>(c.answer.data()), c.answer.size(), &out);
        if (result == 0) result = d.Finish(&out);
        EXPECT_EQ(result, MSP_ERROR_SERVER_NOT_AUDIO) << c.answer.substr(0, 40);
        EXPECT_FALSE(d.problem().empty());
    }
}

// An ID3v2 header that claims a 256 MB tag, arriving a byte at a time: the
// tag is skipped, not allocated anew at each byte (under ASan, which fills
// each allocation, that took a minute for 1.5 KB).
TEST(AnswerDecoderTest, AHugeTagInAnMp3AnswerIsSkippedQuickly) {
    std::string answer("ID3\x03\x00\x00\x7f\x7f\x7f\x7f", 10);
    std::mt19937 random(5);
    for (int i = 0; i < 300; ++i) answer.push_back(char(random()));
    AnswerDecoder d(ServerFormat::kMp3, 16000, 1.0f);
    std::vector<int16_t> out;
    const auto begin = std::chrono::steady_clock::now();
    for (char byte : answer) ASSERT_EQ(d.Feed(reinterpret_cast<const uint8_t*>(&byte), 1, &out), 0);
    EXPECT_EQ(d.Finish(&out), MSP_ERROR_SERVER_NOT_AUDIO);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), 1.0);
}

TEST(ServerRequest, IsTheJsonTheServerExpects) {
    ServerConfig server;
    server.model = "tts-1";
    server.format = ServerFormat::kPcm;
    EXPECT_EQ(BuildSpeechRequest(server, "nova", "Say \"hi\"\\\n\t\x01 门", 50),
              "{\"model\":\"tts-1\",\"input\":\"Say \\\"hi\\\"\\\\\\n\\t\\u0001 门\",\"voice\":\"nova\","
              "\"response_format\":\"pcm\"}");
    // The built-in voices' pace curve: 100 doubles it, 0 halves it.
    EXPECT_NE(BuildSpeechRequest(server, "nova", "x", 100).find(",\"speed\":2.000}"), std::string::npos);
    EXPECT_NE(BuildSpeechRequest(server, "nova", "x", 0).find(",\"speed\":0.500}"), std::string::npos);
}

// The first audio is handed out while the server is still sending the rest.
TEST(ServerSpeechTest, AudioFlowsWhileTheAnswerArrives) {
    std::string pcm(24000 * 2 * 2, '\0');  // two seconds at 24 kHz
    for (size_t i = 0; i < pcm.size() / 2; ++i) pcm[2 * i + 1] = char(i % 64);
    SpeechServer server(SpeechServer::Answer::kTrickle, pcm, "audio/pcm");
    setenv("NO_PROXY", "127.0.0.1", 1);
    ServerConfig config;
    config.url = server.url();
    config.format = ServerFormat::kPcm;
    ServerSpeech speech;
    SessionParams params;
    ASSERT_EQ(speech.Start(config, "alloy", "hello", params), 0);
    const auto begin = std::chrono::steady_clock::now();
    double firstAudio = -1;
    size_t samples = 0;
    for (int polls = 0; !speech.finished() && polls < 500; ++polls) {
        std::vector<int16_t> piece;
        ASSERT_EQ(speech.Take(&piece, 20), 0);
        if (!piece.empty() && firstAudio < 0)
            firstAudio = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        samples += piece.size();
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ASSERT_TRUE(speech.finished());
    EXPECT_NEAR(double(samples), 32000.0, 32.0);
    EXPECT_GE(total, 1.0);  // eight parts, 150 ms apart
    EXPECT_LT(firstAudio, 0.5) << "of " << total << " s";
}

}  // namespace
}  // namespace msc
