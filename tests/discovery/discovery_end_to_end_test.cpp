// tesvano-cli cameras and camera --onvif against test devices, all inside a
// network namespace of this test process's own: its only interface is
// loopback, so no probe can reach a real network. Without the right to make
// one (not root) the tests skip.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>

#include "tests/support/audio_tools.h"
#include "tests/support/private_network.h"
#include "tests/support/servers.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kBin = TESVANO_BIN_DIR;
const std::string kPassword = "s3cr&t:p@ss/1";
const std::string kPasswordInUrl = "s3cr%26t%3Ap%40ss%2F1";

struct CliRun {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

// tesvano-cli with `input` on standard input and camera.conf under `config`.
CliRun Cli(std::vector<std::string> args, const std::string& config, const std::string& input = "") {
    test::TempDir io;
    test::WriteFileBytes(io / "in", std::vector<uint8_t>(input.begin(), input.end()));
    args.insert(args.begin(), kBin + "/tesvano-cli");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + config, "HOME=" + config, "LC_ALL=C.UTF-8",
                                    "PATH=/usr/bin:/bin"};
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (io / "in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (io / "out").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (io / "err").c_str(), O_WRONLY | O_CREAT, 0600);
    CliRun r;
    const auto begin = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        // A hung run is killed after a minute rather than hanging the suite.
        int wstatus = 0;
        pid_t done = 0;
        for (int i = 0; i < 6000 && (done = waitpid(pid, &wstatus, WNOHANG)) == 0; ++i) usleep(10000);
        if (done == 0) {
            kill(pid, SIGKILL);
            done = waitpid(pid, &wstatus, 0);
        }
        if (done == pid) r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const auto out = test::ReadFileBytes(io / "out"), err = test::ReadFileBytes(io / "err");
    r.out.assign(out.begin(), out.end());
    r.err.assign(err.begin(), err.end());
    return r;
}

// A test device; its HTTP port once it listens.
struct Device {
    std::unique_ptr<test::Child> child;
    std::string port;
};
Device StartDevice(const std::string& mode, const std::string& password, const std::string& rtsp,
                   const std::string& name) {
    Device d;
    d.child = std::make_unique<test::Child>(
        std::vector<std::string>{kBin + "/onvif_test_device", mode, password, rtsp, name});
    if (!d.child->ReadLine(&d.port, 5s)) d.port.clear();
    return d;
}

std::string ConfigFile(const std::string& config) { return config + "/tesvano/camera.conf"; }

std::string Saved(const std::string& config) {
    const auto bytes = test::ReadFileBytes(ConfigFile(config));
    return std::string(bytes.begin(), bytes.end());
}

TEST(FindCameras, EveryDeviceOnceWithItsScopesAndNoControlCharacters) {
    ENTER_PRIVATE_NETWORK();
    Device a = StartDevice("media", kPassword, "rtsp://127.0.0.1:1/a", "Front%20Door");
    Device b = StartDevice("digest", kPassword, "rtsp://127.0.0.1:1/b", "Yard%1B%5B31m%C2%9B");
    Device c = StartDevice("garbage", kPassword, "rtsp://127.0.0.1:1/c", "Broken");
    ASSERT_FALSE(a.port.empty() || b.port.empty() || c.port.empty());
    test::TempDir config;
    const CliRun r = Cli({"cameras", "--timeout", "2"}, config.str());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.seconds, 3.5);
    std::printf("cameras:\n%s", r.out.c_str());
    // Sorted by address; each device answered twice and is listed once.
    struct Line {
        const Device& device;
        const char* text;
    } const expected[] = {{a, "Front Door  TV-media"}, {b, "Yard?[31m?  TV-digest"}, {c, "Broken  TV-garbage"}};
    size_t lines = 0;
    for (char ch : r.out) lines += ch == '\n';
    EXPECT_EQ(lines, 3u);
    for (const Line& l : expected) {
        const std::string tail = std::string(l.text) + "  http://127.0.0.1:" + l.device.port + "/onvif/device_service\n";
        EXPECT_NE(r.out.find(tail), std::string::npos) << tail;
    }
    for (char ch : r.out) EXPECT_TRUE(ch == '\n' || static_cast<unsigned char>(ch) >= 0x20) << int(ch);
}

TEST(FindCameras, NoAnswerWithinTheTimeout) {
    ENTER_PRIVATE_NETWORK();
    test::TempDir config;
    for (const char* seconds : {"1", "2"}) {
        const CliRun r = Cli({"cameras", "--timeout", seconds}, config.str());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("no camera answered"), std::string::npos) << r.err;
        EXPECT_GE(r.seconds, std::atoi(seconds) - 0.05);
        EXPECT_LT(r.seconds, std::atoi(seconds) + 1.0);
    }
}

struct OnvifCase {
    const char* name;
    const char* mode;
    const char* devicePassword;
    const char* givenPassword;
    bool byIndex;
    int status;
    const char* says;  // on stdout when it succeeds, stderr otherwise
};

void PrintTo(const OnvifCase& c, std::ostream* os) { *os << c.name; }

class CameraOnvif : public testing::TestWithParam<OnvifCase> {};

TEST_P(CameraOnvif, SavesTheAudioProfilesAddressOrSaysWhy) {
    ENTER_PRIVATE_NETWORK();
    const OnvifCase& c = GetParam();
    const std::string rtsp = "rtsp://127.0.0.1:8554/audio?x=1";
    Device d = StartDevice(c.mode, c.devicePassword, rtsp, "Cam");
    ASSERT_FALSE(d.port.empty());
    // An earlier source in a folder and file others could read.
    test::TempDir config;
    fs::create_directory(config / "tesvano");
    chmod((config / "tesvano").c_str(), 0755);
    test::WriteFileBytes(ConfigFile(config.str()), {'o', 'l', 'd', '\n'});
    chmod(ConfigFile(config.str()).c_str(), 0644);
    const std::string target = c.byIndex ? "1" : "127.0.0.1:" + d.port;
    const CliRun r = Cli({"camera", "--onvif", target, "--user", "admin", "--timeout", "2"}, config.str(),
                      std::string(c.givenPassword) + "\n");
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.says), std::string::npos) << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find(c.givenPassword), std::string::npos);
    EXPECT_EQ((r.out + r.err).find(kPasswordInUrl), std::string::npos);
    if (c.status != 0) {
        EXPECT_EQ(Saved(config.str()), "old\n");
        return;
    }
    EXPECT_EQ(Saved(config.str()),
              "# Camera source for Tesvano's recording\nrtsp://admin:" + kPasswordInUrl + "@127.0.0.1:8554/audio?x=1\n");
    EXPECT_NE(r.out.find("rtsp://"), std::string::npos) << r.out;
    struct stat file{}, folder{};
    ASSERT_EQ(stat(ConfigFile(config.str()).c_str(), &file), 0);
    ASSERT_EQ(stat((config / "tesvano").c_str(), &folder), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, CameraOnvif,
    testing::Values(
        OnvifCase{"MediaByAddress", "media", "s3cr&t:p@ss/1", "s3cr&t:p@ss/1", false, 0, "the camera has a speaker"},
        OnvifCase{"MediaByIndex", "media", "s3cr&t:p@ss/1", "s3cr&t:p@ss/1", true, 0, "profile SubStream"},
        OnvifCase{"Media2WithHttpDigest", "digest", "s3cr&t:p@ss/1", "s3cr&t:p@ss/1", true, 0,
                  "the camera has no speaker"},
        OnvifCase{"WrongPasswordSoapFault", "media", "other-pass", "s3cr&t:p@ss/1", false, 1, "unauthorised"},
        OnvifCase{"WrongPasswordHttpDigest", "digest", "other-pass", "s3cr&t:p@ss/1", false, 1, "unauthorised"},
        OnvifCase{"GarbageAnswers", "garbage", "s3cr&t:p@ss/1", "s3cr&t:p@ss/1", true, 1, "not usable"}),
    [](const testing::TestParamInfo<OnvifCase>& p) { return std::string(p.param.name); });

TEST(CameraOnvifErrors, NothingListeningOrNothingAnswering) {
    ENTER_PRIVATE_NETWORK();
    test::TempDir config;
    const std::string closed = std::to_string(test::FreeLoopbackPort());
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"camera", "--onvif", "127.0.0.1:" + closed, "--user", "admin"}, 1, "did not answer GetServices"},
        {{"camera", "--onvif", "1", "--user", "admin", "--timeout", "1"}, 1, "no camera answered"},
        {{"camera", "--onvif", "ftp://127.0.0.1/", "--user", "admin"}, 2, "--onvif takes"},
        {{"camera", "--onvif", "1"}, 2, "needs ADDRESS or INDEX and --user"},
        {{"cameras", "--timeout", "0"}, 2, "--timeout takes 1 to 60"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(c.args, config.str(), "pw\n");
        EXPECT_EQ(r.status, c.status) << c.args[2] << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_LT(r.seconds, 5);
    }
    EXPECT_FALSE(fs::exists(ConfigFile(config.str())));
}

// libcurl stays out of tesvano-cli; without the module the two commands say so.
TEST(CameraOnvifErrors, TheModuleLoadsOnlyWhenUsed) {
    ENTER_PRIVATE_NETWORK();
    std::string needed;
    ASSERT_EQ(test::RunProgram({test::FindProgram("readelf"), "-d", kBin + "/tesvano-cli"}, &needed), 0);
    EXPECT_EQ(needed.find("libcurl"), std::string::npos);
    EXPECT_EQ(needed.find("libcrypto"), std::string::npos);
    test::TempDir alone, config;
    fs::copy(kBin + "/tesvano-cli", alone / "tesvano-cli");
    std::string out;
    EXPECT_EQ(test::RunProgram({alone / "tesvano-cli", "--help"}, &out), 0);
    EXPECT_NE(out.find("cameras [--timeout S]"), std::string::npos);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"cameras", "--timeout", "1"},
                                                 {"camera", "--onvif", "127.0.0.1", "--user", "admin"}}) {
        std::string err;
        std::vector<std::string> argv = {alone / "tesvano-cli"};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(test::RunProgram(argv, &out, &err), 1);
        EXPECT_NE(err.find("the ONVIF module is not available"), std::string::npos) << err;
    }
}

// The whole way: found, asked, saved, then recorded from.
TEST(CameraOnvifRecord, TheSavedSourceRecordsTheCamerasTone) {
    ENTER_PRIVATE_NETWORK();
    test::Child rtsp({kBin + "/camera_rtsp_tone_server", "pcmu"});
    std::string rtspPort;
    ASSERT_TRUE(rtsp.ReadLine(&rtspPort, 10s)) << "RTSP server did not start";
    Device d = StartDevice("media", kPassword, "rtsp://127.0.0.1:" + rtspPort + "/tone", "Tone");
    ASSERT_FALSE(d.port.empty());
    test::TempDir config, save;
    CliRun r = Cli({"camera", "--onvif", "1", "--user", "admin"}, config.str(), kPassword + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli({"record", "--seconds", "3", "--dir", save.str(), "--rate", "8000"}, config.str());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find(kPasswordInUrl), std::string::npos);
    std::vector<std::string> mp3s;
    for (const auto& e : fs::directory_iterator(save.path())) mp3s.push_back(e.path());
    ASSERT_EQ(mp3s.size(), 1u);
    std::vector<int16_t> pcm;
    ASSERT_TRUE(test::DecodeWithMpg123(mp3s[0], &pcm));
    const double seconds = double(pcm.size()) / 8000;
    ASSERT_GT(pcm.size(), 8000u);
    const double hz = test::ToneHz(pcm.data() + 4000, pcm.size() - 8000, 8000);
    std::printf("recorded %.2f s, tone %.1f Hz\n", seconds, hz);
    // The seconds count from the start click, so a slow stream start on a
    // busy machine shortens what arrives; never longer than asked.
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 3.3);
    EXPECT_NEAR(hz, 1000.0, 5.0);
}

}  // namespace
}  // namespace tesvano
