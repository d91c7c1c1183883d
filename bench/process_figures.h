// Figures the small benchmark programs share: the process's CPU time and a median.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <vector>

namespace korvane::bench {

// User and system CPU seconds of this process so far.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace korvane::bench
