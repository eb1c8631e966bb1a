// libFuzzer target: any bytes as a list of texts for say --from. Reading it
// must never crash, and what it gives must hold together: rows in file
// order, every cell under a known column, at most one cell per column.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/cli/say_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::set<std::string> kColumns = {"text",   "name", "voice", "music",
                                                   "mode", "volume", "rate", "kind",  "fit"};
    std::vector<tesvano::ListRow> rows;
    std::string error;
    if (!tesvano::ParseSayList(std::string(reinterpret_cast<const char*>(data), size), &rows, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    size_t last = 0;
    for (const tesvano::ListRow& row : rows) {
        if (row.number <= last) std::abort();
        last = row.number;
        std::set<std::string> seen;
        for (const auto& [column, value] : row.cells) {
            if (!kColumns.count(column) || !seen.insert(column).second) std::abort();
            (void)value;
        }
    }
    return 0;
}
