#include "platform/tick.h"

#include <chrono>
#include <thread>

namespace korvane {

uint32_t GetTickMs() {
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    // Truncation to 32 bits is the wrap the callers expect.
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

uint32_t SystemClock::Now() { return GetTickMs(); }

void SystemClock::Pause(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Clock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace korvane
