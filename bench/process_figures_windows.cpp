#include "bench/process_figures.h"

#include <windows.h>

namespace korvane::bench {

namespace {

double Seconds(const FILETIME& time) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks) * 1e-7;  // 100 ns units
}

}  // namespace

double ProcessCpuSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user) == 0) {
        return 0;
    }
    return Seconds(kernel) + Seconds(user);
}

}  // namespace korvane::bench
