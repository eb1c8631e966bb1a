// tesvano-cli convert and to-wav on files made by lame and ffmpeg, checked
// with ffprobe and mpg123.
#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <map>

#include "tests/audio/mp3_fixtures.h"
#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tesvano {
namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

void Put32(std::string* s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}

// Appends an APEv2 tag (header, one Title item, footer), as some taggers do.
void AppendApeTag(const std::string& path) {
    std::string item;
    const std::string value = "Announcement";
    Put32(&item, static_cast<uint32_t>(value.size()));
    Put32(&item, 0);
    item += std::string("Title") + '\0' + value;
    auto block = [&](bool header) {
        std::string b = "APETAGEX";
        Put32(&b, 2000);
        Put32(&b, static_cast<uint32_t>(item.size() + 32));
        Put32(&b, 1);
        Put32(&b, 0x80000000u | (header ? 0x20000000u : 0));
        b.append(8, '\0');
        return b;
    };
    std::ofstream(path, std::ios::app | std::ios::binary) << block(true) << item << block(false);
}

TEST(ConvertEndToEnd, FilesFromOtherEncodersBecomeCameraMp3s) {
    if (!test::HaveMp3Tools() || !test::ProgramExists("ffprobe")) GTEST_SKIP() << "lame, ffmpeg, mpg123 needed";
    test::TempDir dir;
    const test::Mp3Recipe recipes[] = {
        {"m8", 8000, 1, "lame", {"-b", "16"}},
        {"m11v", 11025, 1, "lame", {"-V", "5", "--add-id3v2", "--tt", "x"}},
        {"s16", 16000, 2, "ffmpeg", {"-b:a", "48k"}},
        {"m22ape", 22050, 1, "lame", {"-b", "32"}},
        {"s24v", 24000, 2, "ffmpeg", {"-q:a", "5"}},
        {"s32", 32000, 2, "lame", {"-b", "96", "--add-id3v2", "--pad-id3v2-size", "5000", "--tt", "t"}},
        {"s44", 44100, 2, "lame", {"-b", "128"}},
        {"s44v", 44100, 2, "ffmpeg", {"-q:a", "2", "-id3v2_version", "3", "-metadata", "title=Tür"}},
        {"m48", 48000, 1, "ffmpeg", {"-b:a", "64k"}},
        {"s48v", 48000, 2, "lame", {"-V", "0"}},
    };
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const auto& r : recipes) {
        const std::string path = dir / (std::string(r.name) + ".mp3");
        ASSERT_TRUE(test::MakeMp3(r, dir.str(), path)) << r.name;
        if (std::string(r.name).find("ape") != std::string::npos) AppendApeTag(path);
        inputs.emplace_back(path, std::string(r.name) + ".mp3");
    }
    // The input's own delay and padding (the decoder trims nothing) and
    // LAME's 1105-sample delay and last-frame padding (36 or 72 ms).
    for (int rate : {16000, 8000})
        test::ExpectConvertedToCameraMp3s(kCli, inputs, dir / ("out" + std::to_string(rate)), rate, 0.25);
}

TEST(ConvertEndToEnd, ToWavAndExitStatusOfAMixedRun) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "lame, ffmpeg, mpg123 needed";
    test::TempDir dir;
    const std::string good = dir / "A.MP3", missing = dir / "missing.mp3";
    ASSERT_TRUE(test::MakeMp3({"a", 44100, 2, "lame", {"-b", "128"}, 2.0}, dir.str(), good));
    std::string log;
    EXPECT_EQ(test::RunProgram({kCli, "to-wav", good, missing, "--dir", dir.str(), "--rate", "8000"}, &log), 1);
    const auto probe = test::Probe(dir / "A.wav");
    EXPECT_EQ(probe.codec, "pcm_s16le");
    EXPECT_EQ(probe.sampleRate, 8000);
    EXPECT_EQ(probe.channels, 1);
    EXPECT_NEAR(probe.duration, 2.0, 0.1);
    EXPECT_EQ(test::Probe(good).codec, "mp3") << "the input stays as it was";
    // Only the numbered log on standard output: the missing file's box goes to standard error.
    EXPECT_EQ(log.find("missing"), std::string::npos) << log;

    // Over the camera's limit: written, exit status 3.
    const std::string longer = dir / "long.mp3";
    ASSERT_TRUE(test::MakeMp3({"l", 16000, 1, "lame", {"-b", "32"}, 50.0}, dir.str(), longer));
    const std::string out = dir / "out";
    fs::create_directory(out);
    EXPECT_EQ(test::RunProgram({kCli, "convert", longer, "--dir", out}, &log), 3);
    EXPECT_GT(fs::file_size(out + "/long.mp3"), 40960u);
    EXPECT_EQ(test::RunProgram({kCli, "convert", "--dir", out}, &log), 2);
    EXPECT_EQ(test::RunProgram({kCli, "convert", good, "--jobs", "0"}, &log), 2);
}

// No run writes over one of its own inputs, or one output from two inputs:
// such an input is refused before anything is written, naming both files;
// the rest convert, a file onto itself included, and the run fails.
TEST(ConvertEndToEnd, AnOutputThatIsAnotherInputIsRefused) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "lame, ffmpeg, mpg123 needed";
    struct Case {
        const char* what;
        std::vector<std::string> args;      // after the command, in the test's folder
        std::vector<std::string> refused;   // "input -> output" of each refused input
        std::vector<std::string> kept;      // files that must stay byte for byte
        std::vector<std::string> written;   // files that must be (re)written
        double seconds;                     // the first written file's length
    };
    const Case cases[] = {
        {"convert onto an input in the save folder",
         {"convert", "new/a.mp3", "clips/a.mp3", "--dir", "clips", "--jobs", "2"},
         {"new/a.mp3 -> clips/a.mp3"}, {"new/a.mp3"}, {"clips/a.mp3"}, 8.0},
        {"the same, the other way round",
         {"convert", "clips/a.mp3", "new/a.mp3", "--dir", "clips", "--jobs", "1"},
         {"new/a.mp3 -> clips/a.mp3"}, {"new/a.mp3"}, {"clips/a.mp3"}, 8.0},
        {"the save folder through a link",
         {"convert", "new/a.mp3", "clips/a.mp3", "--dir", "link", "--jobs", "2"},
         {"new/a.mp3 -> link/a.mp3"}, {"new/a.mp3"}, {"link/a.mp3"}, 8.0},
        {"two inputs, one output", {"convert", "new/a.mp3", "clips/a.mp3", "--dir", "out", "--jobs", "2"},
         {"clips/a.mp3 -> out/a.mp3"}, {"clips/a.mp3", "new/a.mp3"}, {"out/a.mp3"}, 1.0},
        {"to-wav onto the WAV given too", {"to-wav", "clips/a.mp3", "clips/a.wav", "--dir", "clips"},
         {"clips/a.mp3 -> clips/a.wav"}, {"clips/a.wav", "clips/a.mp3"}, {"clips/a.wav.wav"}, 8.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        for (const char* sub : {"new", "clips", "out"}) fs::create_directory(dir.path() / sub);
        fs::create_directory_symlink("clips", dir.path() / "link");
        ASSERT_TRUE(test::MakeMp3({"n", 16000, 1, "lame", {"-b", "32"}, 1.0}, dir.str(), dir / "new/a.mp3"));
        ASSERT_TRUE(test::MakeMp3({"c", 22050, 2, "lame", {"-b", "64"}, 8.0}, dir.str(), dir / "clips/a.mp3"));
        ASSERT_EQ(test::RunProgram({"ffmpeg", "-loglevel", "quiet", "-i", dir / "clips/a.mp3", dir / "clips/a.wav"}), 0);
        std::map<std::string, std::vector<uint8_t>> before;
        for (const auto& k : c.kept) before[k] = test::ReadFileBytes(dir / k);
        std::vector<std::string> argv = {kCli};
        for (const auto& a : c.args) argv.push_back(a.find('/') != std::string::npos || a == "clips" || a == "out" ||
                                                            a == "link" ? dir / a : a);
        std::string log;
        EXPECT_EQ(test::RunProgram(argv, &log), 1) << log;
        for (const auto& r : c.refused) {
            const auto arrow = r.find(" -> ");
            const std::string line = dir / r.substr(0, arrow) + " -> " + dir / r.substr(arrow + 4) + ": ";
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        }
        EXPECT_NE(log.find("file could not be saved."), std::string::npos) << log;
        for (const auto& k : c.kept) EXPECT_EQ(test::ReadFileBytes(dir / k), before[k]) << k;
        for (const auto& w : c.written) {
            SCOPED_TRACE(w);
            ASSERT_TRUE(fs::exists(dir / w));
            EXPECT_NE(log.find(" saved:" + dir / w), std::string::npos) << log;
        }
        // The 8-second clip stays 8 seconds, never replaced by the 1-second one
        // (re-encoding adds the coders' delay and padding).
        EXPECT_NEAR(test::Probe(dir / c.written[0]).duration, c.seconds, 0.4);
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    }
}

// The encoder's 10 MiB output buffer cannot be had: the conversion says
// CREATE_MP3_FAILED after its decode line, writes nothing and fails.
TEST(ConvertEndToEnd, EncoderWithoutMemoryFailsTheConversion) {
#ifdef TESVANO_SANITIZE
    GTEST_SKIP() << "the sanitizers' shadow memory cannot live under an address-space limit";
#endif
    if (!test::HaveMp3Tools() || !test::ProgramExists("prlimit")) GTEST_SKIP() << "lame or prlimit missing";
    test::TempDir dir;
    const std::string input = dir / "a.mp3", out = dir / "out", output = dir / "out/a.mp3";
    fs::create_directory(out);
    ASSERT_TRUE(test::MakeMp3({"a", 16000, 1, "lame", {"-b", "32"}, 2.0}, dir.str(), input));
    auto convert = [&](long mib, std::string* log) {
        fs::remove(output);
        return test::RunProgram({"prlimit", "--as=" + std::to_string(mib << 20), kCli, "convert", input, "--dir", out,
                                 "--jobs", "1"},
                                log);
    };
    // The least address space in which it converts, to 1 MiB.
    std::string log;
    long lo = 16, hi = 4096;
    ASSERT_EQ(convert(hi, &log), 0) << log;
    for (int i = 0; i < 16 && hi - lo > 1; ++i) {
        const long mid = (lo + hi) / 2;
        (convert(mid, &log) == 0 && fs::exists(output) ? hi : lo) = mid;
    }
    // A few MiB less: the program runs and decodes, the encoder gets no buffer.
    EXPECT_EQ(convert(hi - 3, &log), 1) << log;
    EXPECT_NE(log.find("0001: MP3 decoded: "), std::string::npos) << log;
    EXPECT_NE(log.find("0002: MP3 encoding failed."), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(output));
    for (const auto& e : fs::directory_iterator(out)) ADD_FAILURE() << e.path();
}

// `tesvano-cli to-wav ... | head -1`: the reader has gone when the first
// log line is written, and SIGPIPE ends the run while other files are being
// written. What is left is complete WAV files and nothing else.
TEST(ConvertEndToEnd, ABrokenPipeLeavesNoPartialFile) {
    if (!test::HaveMp3Tools()) GTEST_SKIP() << "lame, ffmpeg, mpg123 needed";
    test::TempDir dir;
    const std::string out = dir / "out";
    fs::create_directory(out);
    std::vector<std::string> argv = {kCli, "to-wav", "--dir", out, "--jobs", "3"};
    for (int i = 0; i < 6; ++i) {
        const std::string path = dir / ("f" + std::to_string(i) + ".mp3");
        ASSERT_TRUE(test::MakeMp3({"f", 16000, 1, "lame", {"-b", "32"}, 20.0 + i}, dir.str(), path));
        argv.push_back(path);
    }
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    close(pipefd[0]);  // nobody reads
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t pipeDefault;
    sigemptyset(&pipeDefault);
    sigaddset(&pipeDefault, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &pipeDefault);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    const int rc = posix_spawn(&pid, kCli.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(pipefd[1]);
    ASSERT_EQ(rc, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGPIPE);
    for (const auto& e : fs::directory_iterator(out)) {
        const std::string name = e.path().filename();
        EXPECT_NE(name[0], '.') << name;
        EXPECT_TRUE(name.ends_with(".wav")) << name;
        // The header's data length is what the file holds.
        const auto bytes = test::ReadFileBytes(e.path());
        ASSERT_GE(bytes.size(), 44u) << name;
        const uint32_t data = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | uint32_t(bytes[43]) << 24;
        EXPECT_EQ(bytes.size(), 44u + data) << name;
    }
}

}  // namespace
}  // namespace tesvano
