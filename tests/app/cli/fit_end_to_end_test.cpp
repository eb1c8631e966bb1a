// tesvano-cli say --fit with the real engine and encoder.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

// About 59 s of speech at normal speed: too long for 40960 bytes by half.
const std::string kMinute =
    "欢迎光临本店，请您注意安全，保管好自己的随身物品。本店营业时间为每天上午九点至晚上十点，节假日照常营业。"
    "如需帮助，请联系门口的服务人员，我们将竭诚为您服务。停车场位于大楼东侧，请按照指示牌有序停放车辆。"
    "店内禁止吸烟，请勿携带宠物入内，谢谢您的配合。紧急情况下，请沿着绿色的安全出口标志迅速离开。"
    "感谢您的光临，祝您购物愉快，欢迎下次再来。";
const std::string kFileName = "欢迎光临本店请您注意安全保管好自己的随身.mp3";

class FitEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ProgramExists("mpg123")) GTEST_SKIP() << "mpg123 needed";
    }
    test::TempDir dir;
};

TEST_F(FitEndToEnd, AMinuteOfSpeechIsSpokenFasterToFit) {
    std::string log;
    // Unfitted, the warning stays as it is: written, exit status 3.
    ASSERT_EQ(test::RunProgram({kCli, "say", kMinute, "--dir", dir.str()}, &log), 3) << log;
    std::vector<int16_t> normal;
    ASSERT_TRUE(test::DecodeWithMpg123(dir / kFileName, &normal));
    EXPECT_GT(double(normal.size()) / 16000, 55.0);

    for (const char* rate : {"16000", "8000"}) {
        SCOPED_TRACE(rate);
        fs::remove(dir / kFileName);
        ASSERT_EQ(test::RunProgram({kCli, "say", kMinute, "--fit", "--rate", rate, "--dir", dir.str()}, &log), 0)
            << log;
        EXPECT_LE(fs::file_size(dir / kFileName), 40960u);
        EXPECT_GT(fs::file_size(dir / kFileName), 36000u) << "no faster than it needs";
        EXPECT_NE(log.find("Fitted in 40960 bytes: speech at speed 7"), std::string::npos) << log;
        EXPECT_EQ(log.find("larger than"), std::string::npos) << log;
    }
}

TEST_F(FitEndToEnd, ThreeMinutesCannotFit) {
    std::string log;
    EXPECT_EQ(test::RunProgram({kCli, "say", kMinute + kMinute + kMinute, "--fit", "--dir", dir.str()}, &log), 1);
    EXPECT_NE(log.find("40.8 s of speech fit"), std::string::npos) << log;
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_EQ(test::RunProgram({kCli, "say", "hello", "--fit", "--kind", "wav", "--dir", dir.str()}), 2);
}

}  // namespace
}  // namespace tesvano
