// tesvano-cli say with voices mapped to a speech server on loopback: the
// server's audio (made by ffmpeg) ends up in the camera MP3, and each way a
// server can fail ends in the engine's failure lines and no file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/audio_tools.h"
#include "tests/support/local_server.h"
#include "tests/support/servers.h"
#include "tests/support/speech_server.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";
const std::string kKey = "sk-test-4b1d9e77c0ffee";
constexpr int kLameDelay = 1105;  // samples the encoder puts in front

struct CliRun {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

// tesvano-cli with the voice map and the key in its environment.
CliRun Cli(const std::string& voices, std::vector<std::string> args) {
    setenv("TESVANO_VOICES", voices.c_str(), 1);
    setenv("TESVANO_TTS_KEY", kKey.c_str(), 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    args.insert(args.begin(), kCli);
    CliRun r;
    const auto begin = Clock::now();
    r.status = test::RunProgram(args, &r.out, &r.err);
    r.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    unsetenv("TESVANO_VOICES");
    unsetenv("TESVANO_TTS_KEY");
    return r;
}

std::string WriteVoiceMap(const test::TempDir& dir, const std::string& url, const std::string& format,
                          int timeout = 10) {
    const std::string path = dir / "voices.conf";
    std::ofstream(path) << "# natural voices\n[server]\nurl = " << url << "\nmodel = tts-1-hd\n"
                        << "key_env = TESVANO_TTS_KEY   # the token\nformat = " << format << "\ntimeout = " << timeout
                        << "\n\n[voices]\nHenry = alloy\nvixl xiaolin = zf_xiaoxiao\n";
    return path;
}

std::vector<std::string> FilesIn(const test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.path().filename() != "voices.conf" && e.path().filename() != "answer") names.push_back(e.path());
    return names;
}

// Three seconds of a 440 Hz tone at 24 kHz, as ffmpeg writes it.
std::string ServerAudio(const test::TempDir& dir, const std::string& format) {
    const std::string path = dir / "answer";
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                     "sine=frequency=440:sample_rate=24000:duration=3", "-ac", "1"};
    if (format == "wav") argv.insert(argv.end(), {"-c:a", "pcm_s16le", "-f", "wav"});
    if (format == "pcm") argv.insert(argv.end(), {"-f", "s16le"});
    if (format == "mp3") argv.insert(argv.end(), {"-c:a", "libmp3lame", "-b:a", "48k", "-f", "mp3"});
    argv.push_back(path);
    if (test::RunProgram(argv) != 0) return {};
    const auto bytes = test::ReadFileBytes(path);
    fs::remove(path);
    return std::string(bytes.begin(), bytes.end());
}

class SpeechServerEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ProgramExists("ffmpeg") || !test::ProgramExists("mpg123")) GTEST_SKIP() << "ffmpeg or mpg123 missing";
    }
    test::TempDir dir;
};

struct FormatCase {
    const char* format;
    test::SpeechServer::Answer answer;
    const char* type;
};

class ServerVoices : public SpeechServerEndToEnd, public testing::WithParamInterface<FormatCase> {};

TEST_P(ServerVoices, AMappedVoiceSpeaksWithTheServersAudio) {
    const FormatCase& c = GetParam();
    const std::string audio = ServerAudio(dir, c.format);
    ASSERT_FALSE(audio.empty());
    test::SpeechServer server(c.answer, audio, c.type);
    const std::string text = "你好，世界。";
    const CliRun r = Cli(WriteVoiceMap(dir, server.url(), c.format), {"say", text, "--voice", "henry", "--dir", dir.str()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head.rfind("POST /v1/audio/speech HTTP/1.1\r\n", 0), 0u) << requests[0].head;
    EXPECT_EQ(test::SpeechServer::Header(requests[0], "Authorization"), "Bearer " + kKey);
    EXPECT_EQ(test::SpeechServer::Header(requests[0], "Content-Type"), "application/json");
    EXPECT_EQ(requests[0].body, R"({"model":"tts-1-hd","input":")" + text +
                                    R"(","voice":"alloy","response_format":")" + c.format + R"("})");
    EXPECT_EQ((r.out + r.err).find(kKey), std::string::npos);

    const auto files = FilesIn(dir);
    ASSERT_EQ(files.size(), 1u);
    std::vector<int16_t> pcm;
    ASSERT_TRUE(test::DecodeWithMpg123(files[0], &pcm));
    const double seconds = double(pcm.size() - kLameDelay) / 16000;
    EXPECT_NEAR(seconds, 3.0, 0.1);
    EXPECT_NEAR(test::ToneHz(pcm.data() + 8000, pcm.size() - 16000, 16000), 440.0, 2.0);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"((\d+)\.\n.*MP3)"))) << r.out;
    EXPECT_NEAR(std::stod(m[1]) / 2 / 16000, 3.0, 0.1) << "the speech bytes of the log";
}

INSTANTIATE_TEST_SUITE_P(Formats, ServerVoices,
                         testing::Values(FormatCase{"wav", test::SpeechServer::Answer::kAudio, "audio/wav"},
                                         FormatCase{"pcm", test::SpeechServer::Answer::kTrickle, "audio/pcm"},
                                         FormatCase{"mp3", test::SpeechServer::Answer::kAudio, "audio/mpeg"}),
                         [](const testing::TestParamInfo<FormatCase>& p) { return std::string(p.param.format); });

TEST_F(SpeechServerEndToEnd, OtherVoicesNeverReachTheServer) {
    test::SpeechServer server(test::SpeechServer::Answer::kAudio, ServerAudio(dir, "wav"));
    const std::string voices = WriteVoiceMap(dir, server.url(), "wav");
    const CliRun said = Cli(voices, {"say", "Good morning.", "--voice", "xiaoyan", "--dir", dir.str()});
    EXPECT_EQ(said.status, 0) << said.out << said.err;
    EXPECT_EQ(FilesIn(dir).size(), 1u);
    EXPECT_TRUE(server.requests().empty());

    const CliRun listed = Cli(voices, {"voices"});
    ASSERT_EQ(listed.status, 0);
    std::vector<std::string> marked;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("[server: ") != std::string::npos) marked.push_back(line.substr(0, 2));
    EXPECT_EQ(marked, (std::vector<std::string>{" 6", "15"})) << listed.out;

    setenv("TESVANO_VOICES", voices.c_str(), 1);
    std::string engineList;
    EXPECT_EQ(test::RunProgram({std::string(TESVANO_BIN_DIR) + "/msc-say", "-l"}, &engineList), 0);
    unsetenv("TESVANO_VOICES");
    EXPECT_NE(engineList.find("\nhenry\tserver: alloy\n"), std::string::npos) << engineList;
    EXPECT_NE(engineList.find("\nvixl xiaolin\tserver: zf_xiaoxiao\n"), std::string::npos);
    EXPECT_NE(engineList.find("\nxiaoyan\n"), std::string::npos);
}

TEST_F(SpeechServerEndToEnd, AMalformedVoiceMapIsReportedAndEveryVoiceStaysBuiltIn) {
    test::SpeechServer server(test::SpeechServer::Answer::kAudio, ServerAudio(dir, "wav"));
    const std::string voices = dir / "voices.conf";
    std::ofstream(voices) << "[server]\nurl = " << server.url() << "\n[voices]\nhenry = alloy\nnobody = echo\n";
    const CliRun r = Cli(voices, {"say", "Good morning.", "--voice", "henry", "--dir", dir.str()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("line 5: no voice 'nobody'"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("line 5: no voice 'nobody'"), std::string::npos) << r.out;  // and in the log
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(FilesIn(dir).size(), 1u);

    // Asked about all 17 voices, it says so once.
    const CliRun listed = Cli(voices, {"voices"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out.find("[server:"), std::string::npos);
    const size_t first = listed.err.find("no voice 'nobody'");
    EXPECT_NE(first, std::string::npos) << listed.err;
    EXPECT_EQ(listed.err.find("no voice 'nobody'", first + 1), std::string::npos) << listed.err;
}

// An https server whose certificate nobody vouches for is refused.
TEST_F(SpeechServerEndToEnd, AnHttpsServerMustHaveATrustedCertificate) {
    const std::string openssl = test::FindProgram("openssl");
    if (openssl.empty()) GTEST_SKIP() << "openssl missing";
    ASSERT_EQ(test::RunProgram({openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                "-nodes", "-subj", "/CN=127.0.0.1", "-days", "1", "-keyout", dir / "key.pem", "-out",
                                dir / "cert.pem"}),
              0);
    const int port = test::FreeLoopbackPort();
    test::Child server({openssl, "s_server", "-quiet", "-www", "-accept", "127.0.0.1:" + std::to_string(port), "-cert",
                        dir / "cert.pem", "-key", dir / "key.pem"});
    ASSERT_TRUE(test::WaitListening(port, std::chrono::seconds(10)));
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/v1/audio/speech";
    const CliRun r = Cli(WriteVoiceMap(dir, url, "wav", 5), {"say", "Door open.", "--voice", "henry", "--dir", dir.str()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("QTTSAudioGet failed, error code: 20013.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("certificate"), std::string::npos) << r.err;
    fs::remove(dir / "key.pem");
    fs::remove(dir / "cert.pem");
    EXPECT_TRUE(FilesIn(dir).empty());
}

std::string Le(uint32_t value, int bytes) {
    std::string le;
    for (int i = 0; i < bytes; ++i) le.push_back(char(value >> (8 * i)));
    return le;
}

// A mono WAV at `rate` with `bytes` bytes of silence, 8 or 16 bits a sample.
std::string SilentWav(uint32_t rate, int bits, uint32_t bytes) {
    const uint32_t frame = uint32_t(bits / 8);
    return "RIFF" + Le(36 + bytes, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(rate, 4) +
           Le(rate * frame, 4) + Le(frame, 2) + Le(uint32_t(bits), 2) + "data" + Le(bytes, 4) +
           std::string(bytes, bits == 8 ? '\x80' : '\0');
}

struct FailureCase {
    const char* name;
    test::SpeechServer::Answer answer;
    bool stopped;  // nobody listens at the url
    int code;
    const char* reason;         // on standard error
    std::string body = {};      // of kAudio; empty: ffmpeg's tone as WAV
    const char* type = "audio/wav";
    int timeout = 2;            // seconds, the map's
};

class ServerFailures : public SpeechServerEndToEnd, public testing::WithParamInterface<FailureCase> {};

TEST_P(ServerFailures, GiveTheFailureLinesAndNoFile) {
    const FailureCase& c = GetParam();
    test::SpeechServer server(c.answer, c.body.empty() ? ServerAudio(dir, "wav") : c.body, c.type);
    const std::string url = c.stopped ? test::ClosedLocalUrl() + "v1/audio/speech" : server.url();
    const CliRun r = Cli(WriteVoiceMap(dir, url, "wav", c.timeout), {"say", "Door open.", "--voice", "15", "--dir", dir.str()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_LT(r.seconds, c.timeout + 2.0);
    EXPECT_NE(r.out.find("QTTSAudioGet failed, error code: " + std::to_string(c.code) + ".\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("text_to_speech_wavfile failed, error code: " + std::to_string(c.code) + ".\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("libmsc: speech server http://127.0.0.1:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    // The window's log shows the reason too, on the line after the failure.
    const size_t failed = r.out.find("text_to_speech_wavfile failed");
    EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
    EXPECT_LT(r.out.find(c.reason), failed) << r.out;
    // What the server sent reaches the terminal without its escape sequences.
    for (char ch : r.err) {
        const auto u = static_cast<unsigned char>(ch);
        ASSERT_TRUE(u >= ' ' || ch == '\n' || ch == '\t') << "control character " << int(u) << " in " << r.err;
        ASSERT_NE(u, 0x7F) << r.err;
    }
    EXPECT_TRUE(FilesIn(dir).empty());
    EXPECT_EQ((r.out + r.err).find(kKey), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ServerFailures,
    testing::Values(
        FailureCase{"Stopped", test::SpeechServer::Answer::kAudio, true, 20013, "onnect"},
        FailureCase{"Silent", test::SpeechServer::Answer::kSilent, false, 20014, "no complete answer within 2 s"},
        FailureCase{"Status500", test::SpeechServer::Answer::kStatus500, false, 20015,
                    "HTTP status 500: {\"error\":{\"message\":\"the model is not loaded\"}}"},
        FailureCase{"Html", test::SpeechServer::Answer::kHtml, false, 20016, "answered text/html; charset=utf-8"},
        // 64 MiB through the program's buffer: seconds under ASan on a busy machine, and once
        // past 10 s in a full run here; the cap, not the clock, must end it.
        FailureCase{"Endless", test::SpeechServer::Answer::kEndless, false, 20017, "larger than 64 MiB", {},
                    "audio/wav", 30},
        // Each answer byte would be 16 samples at 16 kHz.
        FailureCase{"RateOf1000Hz", test::SpeechServer::Answer::kAudio, false, 20016, "sample rate 1000 Hz",
                    SilentWav(1000, 8, 1 << 20)},
        // 17 MiB of answer, 68 MiB of audio at 16 kHz.
        FailureCase{"AudioOver64MiB", test::SpeechServer::Answer::kAudio, false, 20017,
                    "its audio is larger than 64 MiB at 16000 Hz", SilentWav(8000, 8, 17 << 20), "audio/wav", 30},
        FailureCase{"EscapesInTypeAndBody", test::SpeechServer::Answer::kAudio, false, 20016,
                    "answered text/plain [2J ]0;owned , not audio:  [31mred ? [0m", "\x1b[31mred\x07\x9b\x1b[0m",
                    "text/plain\x1b[2J\x1b]0;owned\x07"}),
    [](const testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

// Anyone between here and another machine could read a key sent over plain
// http: it goes to this machine only, and is refused before any connection
// elsewhere (192.0.2.1 is a documentation address nobody may contact).
TEST_F(SpeechServerEndToEnd, TheKeyGoesOverPlainHttpOnlyToThisMachine) {
    test::SpeechServer server(test::SpeechServer::Answer::kAudio, ServerAudio(dir, "wav"));
    const std::string port = server.url().substr(std::string("http://127.0.0.1:").size());
    const struct {
        std::string url;
        bool sent;
    } cases[] = {
        {"http://localhost:" + port, true},
        {"HTTP://127.0.0.1:" + port, true},
        {"http://192.0.2.1:9/v1/audio/speech", false},
    };
    size_t requests = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const CliRun r = Cli(WriteVoiceMap(dir, c.url, "wav"), {"say", "Door open.", "--voice", "henry", "--dir", dir.str()});
        if (c.sent) {
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            ASSERT_EQ(server.requests().size(), ++requests);
            EXPECT_EQ(test::SpeechServer::Header(server.requests().back(), "Authorization"), "Bearer " + kKey);
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_LT(r.seconds, 3.0) << "the map's timeout is 10 s: it tried to connect";
        EXPECT_NE(r.out.find("QTTSTextPut failed, error code: 20013.\n"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("libmsc: speech server http://192.0.2.1:9/v1/audio/speech: the key is not sent over "
                             "plain http to another machine; use https\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ((r.out + r.err).find(kKey), std::string::npos);
        EXPECT_EQ(server.requests().size(), requests);
    }
}

}  // namespace
}  // namespace tesvano
