// 1000 MP3s generated in one process through the in-memory window, with
// the real engine and music before and after the voice (mode 3). Resident
// memory after the last may be at most 5 MiB above where it was after the
// tenth: the first ones load the engine, the language table and the music.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "operations/generate.h"
#include "operations/window_setup.h"
#include "platform/text.h"
#include "tests/support/memory_window.h"

namespace {

constexpr int kOperations = 1000;
constexpr int kSettled = 10;
constexpr double kLimitMiB = 5.0;

double ResidentMiB() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    const bool ok = f && std::fscanf(f, "%ld %ld", &pages, &resident) == 2;
    if (f) std::fclose(f);
    return ok ? double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : -1.0;
}

// Selects the entry of a list whose data is `data`; false when there is none.
bool SelectData(tesvano::test::MemoryWindow& w, int id, int data) {
    const auto& items = w.control(id)->items;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].second == data) return w.Select(id, static_cast<int>(i));
    return false;
}

bool SelectText(tesvano::test::MemoryWindow& w, int id, const std::u16string& text) {
    const auto& items = w.control(id)->items;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].first == text) return w.Select(id, static_cast<int>(i));
    return false;
}

}  // namespace

int main() {
    using namespace tesvano;
    setenv("TESVANO_NO_DESKTOP_OPEN", "1", 1);
    char dir[] = "/tmp/tesvano-endurance-XXXXXX";
    if (!mkdtemp(dir)) return 1;

    test::MemoryWindow w;
    FillControls(w);
    w.SetItemText(IDC_SAVE_DIR, AnsiToWide(dir));
    w.SetItemText(IDC_TEXT, u"Welcome, you are entering a monitored area.");
    if (!SelectText(w, IDC_MUSIC, u"doorbell.mp3") || !SelectData(w, IDC_OVERLAY, 3)) {
        std::fprintf(stderr, "no doorbell.mp3 or no mode 3 in the window\n");
        return 1;
    }

    double settled = 0;
    int failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= kOperations; ++i) {
        if (OnGenerateMp3(w) != OpResult::kDone) ++failed;
        w.logTexts.clear();  // the test window keeps every line; the real one keeps 100
        w.opened.clear();
        if (i == kSettled) settled = ResidentMiB();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double last = ResidentMiB();
    std::filesystem::remove_all(dir);

    const bool ok = failed == 0 && settled > 0 && last - settled <= kLimitMiB;
    std::printf("%d generate operations (text, music mode 3) in one process: resident %.1f MiB after %d, "
                "%.1f MiB after %d (%+.2f MiB, limit %.0f), %.1f ms each, %d failed: %s\n",
                kOperations, settled, kSettled, last, kOperations, last - settled, kLimitMiB,
                1000.0 * seconds / kOperations, failed, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
