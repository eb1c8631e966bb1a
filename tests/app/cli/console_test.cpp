#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

#include "speech/voice_table.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

// A registry file naming the language, for the product key that registry.xml beside the program names.
std::string WriteRegistry(const test::TempDir& dir, const std::string& language) {
    std::ifstream xml(std::string(TESVANO_BIN_DIR) + "/registry.xml");
    std::stringstream s;
    s << xml.rdbuf();
    std::smatch m;
    const std::string text = s.str();
    std::string product = "QuaboDevTools";
    if (std::regex_search(text, m, std::regex("name=\"([^\"]*)\""))) product = m[1];
    const std::string path = dir / "registry.reg";
    std::ofstream(path) << "Windows Registry Editor Version 5.00\n\n"
                        << "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" << product
                        << "]\n\"Language\"=\"" << language << "\"\n";
    return path;
}

TEST(Console, UsageAndExitStatus) {
    std::string out;
    EXPECT_EQ(test::RunProgram({kCli, "--help"}, &out), 0);
    EXPECT_NE(out.find("voices"), std::string::npos);
    EXPECT_EQ(test::RunProgram({kCli}, &out), 2);
    EXPECT_EQ(test::RunProgram({kCli, "no-such-command"}, &out), 2);
    EXPECT_EQ(test::RunProgram({kCli, "voices", "extra"}, &out), 2);
}

TEST(Console, ConvertOnATerminalShowsCleanLinesAndASummary) {
    if (!test::ProgramExists("script")) GTEST_SKIP() << "script missing";
    test::TempDir dir;
    const std::string in = dir / "in", out = dir / "out";
    std::filesystem::create_directories(in + "/deeper");
    std::filesystem::create_directories(out);
    for (const char* name : {"a.mp3", "b.mp3", "deeper/c.mp3"})
        std::filesystem::copy_file(std::string(TESVANO_BIN_DIR) + "/doorbell.mp3", in + "/" + name);
    std::ofstream(in + "/notes.txt") << "not audio";
    for (bool recursive : {false, true}) {
        // A real terminal: `script` gives the program one, as a person's shell would.
        std::string cmd = kCli + " convert " + in + " --dir " + out + (recursive ? " --recursive" : "");
        std::string shown;
        ASSERT_EQ(test::RunProgram({"script", "-qec", cmd, "/dev/null"}, &shown), 0) << shown;
        const std::string summary = recursive ? "3 converted, 0 failed" : "2 converted, 0 failed";
        EXPECT_NE(shown.find(summary), std::string::npos) << shown;
        // Whatever the progress line showed is wiped before the next output.
        EXPECT_EQ(shown.find("files0"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("notes.txt"), std::string::npos) << shown;
        EXPECT_EQ(std::filesystem::exists(out + "/c.mp3"), recursive);
    }
}

TEST(Console, MusicAndVoiceByAnyNameTheListsShow) {
    test::TempDir dir;
    const std::string own = dir / "own.wav";
    ASSERT_EQ(test::RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                "sine=frequency=500:duration=1", own}),
              0);
    const struct {
        std::vector<std::string> options;
        int status;
    } cases[] = {
        {{"--music", "1"}, 0},
        {{"--music", "doorbell"}, 0},
        {{"--music", "DOORBELL.MP3"}, 0},
        {{"--music", own, "--mode", "1"}, 0},
        {{"--voice", "\xE5\xB0\x8F\xE7\x87\x95"}, 0},  // 小燕
        {{"--voice", "henry"}, 0},
        {{"--music", "nothing"}, 2},
        {{"--voice", "nobody"}, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {kCli, "say", "Door.", "--dir", dir.str()};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        std::string out, err;
        EXPECT_EQ(test::RunProgram(argv, &out, &err), c.status) << c.options[1] << "\n" << out << err;
        // Where to look is said once.
        EXPECT_EQ(err.find("(see", err.find("(see") + 1), std::string::npos) << err;
        // Own music is decoded and laid before the voice: a music line with its bytes.
        std::smatch bytes;
        if (c.options[1] == own) {
            ASSERT_TRUE(std::regex_search(out, bytes, std::regex("(\\d+)\\.\\n"))) << out;
            EXPECT_NEAR(std::stod(bytes[1]), 32000, 2000) << out;  // a second at 16 kHz
        }
    }
    std::string version;
    EXPECT_EQ(test::RunProgram({kCli, "--version"}, &version), 0);
    EXPECT_NE(version.find("V2.0.9"), std::string::npos) << version;
}

TEST(Console, VoicesInTheLanguageOfTheRegistry) {
    struct Case {
        const char* language;
        bool chinese;
    } cases[] = {{"Simplified Chinese", true}, {"English", false}, {"Korean", false}, {"Traditional Chinese", false}};
    for (const auto& c : cases) {
        test::TempDir dir;
        setenv("TESVANO_REGISTRY", WriteRegistry(dir, c.language).c_str(), 1);
        std::string out;
        EXPECT_EQ(test::RunProgram({kCli, "voices"}, &out), 0);
        std::istringstream lines(out);
        std::string line;
        size_t i = 0;
        for (; std::getline(lines, line); ++i) {
            ASSERT_LT(i, kVoiceTable.size());
            const char* name = c.chinese ? kVoiceTable[i].chineseName : kVoiceTable[i].englishName;
            EXPECT_NE(line.find(name), std::string::npos) << c.language << ": " << line;
        }
        EXPECT_EQ(i, kVoiceTable.size());
    }
    unsetenv("TESVANO_REGISTRY");
}

// Installed in a folder whose name is not UTF-8, the program still finds its
// language files, its registry name, its engine and its music.
TEST(Console, ProgramFolderNameThatIsNotUtf8) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    const fs::path home = fs::path(dir.str()) / "caf\xE9";
    const fs::path bin(TESVANO_BIN_DIR);
    fs::create_directory(home);
    for (const char* f : {"tesvano-cli", "libmsc.so", "language.xml", "registry.xml", "doorbell.mp3"})
        fs::copy(bin / f, home / f);
    fs::copy(bin / "lang", home / "lang", fs::copy_options::recursive);
    setenv("TESVANO_REGISTRY", WriteRegistry(dir, "Korean").c_str(), 1);
    std::string out;
    EXPECT_EQ(test::RunProgram({home / "tesvano-cli", "music"}, &out), 0);
    EXPECT_NE(out.find("doorbell.mp3"), std::string::npos) << out;
    EXPECT_EQ(test::RunProgram({home / "tesvano-cli", "say", "abc", "--music", "doorbell.mp3", "--dir", dir.str()},
                               &out),
              0);
    // Korean texts in the log, music decoded, speech spoken and saved.
    EXPECT_NE(out.find("MP3 디코딩 완료"), std::string::npos) << out;
    EXPECT_NE(out.find("파일 저장 완료"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(fs::path(dir.str()) / "abc.mp3"));
    unsetenv("TESVANO_REGISTRY");
}

// A script reading the log sees only numbered lines: the WAV header trace
// goes to standard error.
TEST(Console, StandardOutputIsOnlyTheLog) {
    test::TempDir dir;
    setenv("TESVANO_REGISTRY", WriteRegistry(dir, "English").c_str(), 1);
    std::string out;
    EXPECT_EQ(test::RunProgram({kCli, "say", "abc", "--kind", "wav", "--dir", dir.str()}, &out), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "abc.wav"));
    std::istringstream lines(out);
    std::string line;
    size_t count = 0;
    for (; std::getline(lines, line); ++count)
        EXPECT_TRUE(std::regex_search(line, std::regex("^[0-9]{4}: "))) << line;
    EXPECT_GT(count, 0u);
    unsetenv("TESVANO_REGISTRY");
}

}  // namespace
}  // namespace tesvano
