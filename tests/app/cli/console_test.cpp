#include <cstdlib>
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

}  // namespace
}  // namespace tesvano
