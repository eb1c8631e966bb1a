// The median wall time of a few runs of a whole step, as the benchmarks report it.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace tesvano::bench {

// Milliseconds, the median of `runs` calls of once(); -1 as soon as one fails.
template <typename F>
double MedianMs(int runs, F&& once) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!once()) return -1;
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace tesvano::bench
