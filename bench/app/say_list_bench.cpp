// tesvano-cli say --from with 100 rows of 20 Chinese characters: the default
// jobs (every core) against --jobs 1 and against a loop of one tesvano-cli
// say per row, as a shell loop would run it. Prints medians and ratios.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench/timing.h"

namespace {

using tesvano::bench::Run;

constexpr int kRows = 100;
constexpr int kRuns = 3;
const char* const kTexts[] = {"欢迎光临，您已进入视频监控区域，请注意安全。", "营业时间即将结束，请您带好随身物品尽快离开。",
                              "此处禁止停车，请将车辆停放到指定的停车区域。", "前方施工区域危险，请勿靠近，谢谢您的合作。"};

}  // namespace

int main(int argc, char** argv) {
    const std::string bin = argc > 1 ? argv[1] : ".";
    char dir[] = "/tmp/tesvano-list-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string d = dir;
    setenv("TESVANO_NO_DESKTOP_OPEN", "1", 1);
    {
        std::ofstream list(d + "/list.csv");
        list << "text,name\n";
        for (int i = 0; i < kRows; ++i) list << kTexts[i % 4] << ",row" << i << "\n";
    }
    const std::string cli = bin + "/tesvano-cli";
    const double all = tesvano::bench::MedianMs(kRuns, [&] {
        return Run({cli, "say", "--from", d + "/list.csv", "--dir", d});
    });
    const double one = tesvano::bench::MedianMs(kRuns, [&] {
        return Run({cli, "say", "--from", d + "/list.csv", "--dir", d, "--jobs", "1"});
    });
    const double loop = tesvano::bench::MedianMs(kRuns, [&] {
        for (int i = 0; i < kRows; ++i)
            if (!Run({cli, "say", "--dir", d, "--name", "row" + std::to_string(i), kTexts[i % 4]})) return false;
        return true;
    });
    std::filesystem::remove_all(d);
    if (all < 0 || one < 0 || loop < 0) {
        std::fprintf(stderr, "tesvano-cli say --from failed\n");
        return 1;
    }
    std::printf("say --from, %d rows of 20 Chinese characters, median of %d: --jobs default (%u cores) %.0f ms, "
                "--jobs 1 %.0f ms (%.2fx), a loop of tesvano-cli say %.0f ms (%.2fx; target >= 1.8x on 2 cores)\n",
                kRows, kRuns, std::thread::hardware_concurrency(), all, one, one / all, loop, loop / all);
    return 0;
}
