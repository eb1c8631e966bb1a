// What tesvano-cli loads for each command (ld.so's own account, LD_DEBUG),
// and the conversions and server voices run from a program folder whose
// module is missing or broken: a clear reason, exit 1, nothing written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/speech_server.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

const std::string kBin = TESVANO_BIN_DIR;

// ffmpeg's tone as a FLAC file: audio only the FFmpeg module reads.
std::string MakeFlac(const test::TempDir& dir) {
    const std::string path = dir / "tone.flac";
    return test::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=1", path}) == 0
               ? path
               : std::string();
}

// The libraries ld.so reported opening while the program ran.
std::string LoadedLibraries(const std::vector<std::string>& argv, int* status) {
    setenv("LD_DEBUG", "files", 1);
    std::string out, err;
    *status = test::RunProgram(argv, &out, &err);
    unsetenv("LD_DEBUG");
    std::string files;
    for (size_t at = 0; (at = err.find("file=", at)) != std::string::npos; at += 5)
        files += err.substr(at, err.find_first_of(" \n", at) - at) + "\n";
    return files;
}

TEST(OnDemand, EachCommandLoadsOnlyWhatItUses) {
    if (!test::ProgramExists("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    const std::string flac = MakeFlac(dir);
    ASSERT_FALSE(flac.empty());
    const std::string cli = kBin + "/tesvano-cli";
    const struct {
        const char* name;
        std::vector<std::string> argv;
        std::vector<std::string> loaded, notLoaded;
    } cases[] = {
        {"help", {cli, "--help"}, {}, {"libmsc", "libespeak-ng", "libsoxr", "libav", "libcurl", "libQuabo", "libQt"}},
        {"text clip", {cli, "say", "Door open.", "--dir", dir.str()}, {"libmsc.so", "libespeak-ng"},
         {"libav", "libcurl", "libmsc-server", "libtesvano-ffmpeg", "libQuabo"}},
        {"MP3 convert", {cli, "convert", kBin + "/doorbell.mp3", "--dir", dir.str()}, {},
         {"libav", "libtesvano-ffmpeg", "libcurl", "libmsc"}},
        {"FLAC convert", {cli, "convert", flac, "--dir", dir.str()}, {"libtesvano-ffmpeg.so", "libavformat"},
         {"libcurl", "libmsc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int status = -1;
        const std::string files = LoadedLibraries(c.argv, &status);
        EXPECT_EQ(status, 0);
        ASSERT_NE(files.find("libc.so"), std::string::npos) << "no LD_DEBUG account";
        for (const auto& name : c.loaded) EXPECT_NE(files.find(name), std::string::npos) << name << " in\n" << files;
        for (const auto& name : c.notLoaded) EXPECT_EQ(files.find(name), std::string::npos) << name << " in\n" << files;
    }
}

// The program folder as built, without one module or with a broken one.
class ProgramFolder {
public:
    ProgramFolder(const test::TempDir& dir, const std::string& module, bool broken) : path_(dir / "program") {
        fs::create_directory(path_);
        for (const auto& e : fs::directory_iterator(kBin)) {
            const std::string name = e.path().filename();
            const bool wanted = name == "tesvano-cli" || name.ends_with(".so") || name.ends_with(".xml") ||
                                name.ends_with(".mp3") || name == "lang";
            if (!wanted || name == module) continue;
            fs::copy(e.path(), path_ + "/" + name, fs::copy_options::recursive);
        }
        if (broken) std::ofstream(path_ + "/" + module) << "not a library\n";
    }
    std::string cli() const { return path_ + "/tesvano-cli"; }

private:
    std::string path_;
};

struct MissingCase {
    const char* name;
    bool broken;  // false: the module is not there at all
};

class MissingModule : public testing::TestWithParam<MissingCase> {
protected:
    test::TempDir dir;
};

TEST_P(MissingModule, ConversionOfOtherAudioFailsWithTheReasonAndMp3sStillConvert) {
    if (!test::ProgramExists("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const ProgramFolder program(dir, "libtesvano-ffmpeg.so", GetParam().broken);
    const std::string flac = MakeFlac(dir);
    ASSERT_FALSE(flac.empty());
    const std::string out = dir / "out";
    fs::create_directory(out);
    std::string log, err;
    EXPECT_EQ(test::RunProgram({program.cli(), "convert", kBin + "/doorbell.mp3", flac, "--dir", out, "--jobs", "2"},
                               &log, &err),
              1)
        << log << err;
    EXPECT_TRUE(fs::exists(out + "/doorbell.mp3")) << log;
    EXPECT_FALSE(fs::exists(out + "/tone.flac.mp3"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1) << "no partial file";
    // The decode-failed line, then why.
    const size_t failed = log.find("The MP3 file could not be decoded.\n");
    ASSERT_NE(failed, std::string::npos) << log;
    const std::string reason = log.substr(failed, log.find('\n', log.find('\n', failed) + 1) - failed);
    EXPECT_NE(reason.find("libtesvano-ffmpeg.so"), std::string::npos) << log;
    if (GetParam().broken) {
        EXPECT_NE(reason.find("/program/libtesvano-ffmpeg.so: "), std::string::npos) << "its own reason: " << log;
    }
}

TEST_P(MissingModule, AMappedVoiceFailsAsUnreachableAndBuiltInVoicesStillSpeak) {
    const ProgramFolder program(dir, "libmsc-server.so", GetParam().broken);
    test::SpeechServer server(test::SpeechServer::Answer::kAudio, std::string(4000, '\0'));
    const std::string voices = dir / "voices.conf";
    std::ofstream(voices) << "[server]\nurl = " << server.url() << "\n[voices]\nhenry = alloy\n";
    const std::string out = dir / "out";
    fs::create_directory(out);
    setenv("TESVANO_VOICES", voices.c_str(), 1);
    std::string log, err;
    const int mapped = test::RunProgram({program.cli(), "say", "Door open.", "--voice", "henry", "--dir", out}, &log, &err);
    std::string builtInLog;
    const int builtIn =
        test::RunProgram({program.cli(), "say", "Door closed.", "--voice", "xiaoyan", "--dir", out}, &builtInLog);
    unsetenv("TESVANO_VOICES");

    EXPECT_EQ(mapped, 1) << log << err;
    EXPECT_NE(log.find("QTTSTextPut failed, error code: 20013.\n"), std::string::npos) << log;
    EXPECT_NE(err.find("libmsc-server.so"), std::string::npos) << err;
    EXPECT_TRUE(server.requests().empty());
    EXPECT_FALSE(fs::exists(out + "/Door open.mp3"));
    EXPECT_EQ(builtIn, 0) << builtInLog;
    EXPECT_TRUE(fs::exists(out + "/Door closed.mp3"));
}

INSTANTIATE_TEST_SUITE_P(Modules, MissingModule, testing::Values(MissingCase{"Absent", false}, MissingCase{"Broken", true}),
                         [](const testing::TestParamInfo<MissingCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tesvano
