// Millisecond tick counter and the clock the engine waits on.
// Thread safety: GetTickMs and SystemClock may be used from any thread.
#pragma once

#include <cstdint>

namespace korvane {

// A steady clock in milliseconds; it wraps, so take differences unsigned.
uint32_t GetTickMs();

// What the engine reads time from and pauses on; tests inject a fake one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t Now() = 0;
    virtual void Pause(uint32_t ms) = 0;
};

class SystemClock final : public Clock {
public:
    uint32_t Now() override;
    void Pause(uint32_t ms) override;
};

// The process's one system clock.
Clock& DefaultClock();

}  // namespace korvane
