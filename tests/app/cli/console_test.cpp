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
