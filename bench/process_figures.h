// Figures the small benchmark programs share: the process's CPU time and a median.
#pragma once

#include <algorithm>
#include <vector>

namespace korvane::bench {

// User and system CPU seconds of this process so far.
double ProcessCpuSeconds();

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace korvane::bench
