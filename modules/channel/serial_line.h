// One open serial device in raw 8N1 mode, the operating-system half of a channel. Real
// serial ports and pseudo-terminals go through the same calls.
// Thread safety: one SerialLine is used by one thread at a time; separate lines are independent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace korvane {

// Asked between the waits of a write; false ends the write.
using KeepGoing = std::function<bool()>;
inline constexpr int kStopCheckMs = 50;

class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens the device (closing one already open); 0 on success, else an errno value.
    int Open(const std::string& device, uint32_t baud);
    // Idempotent.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Bytes read (at most capacity), 0 when nothing arrived within wait_ms, -1 when the device
    // failed or is gone.
    int32_t Read(void* buffer, uint32_t capacity, uint32_t wait_ms);
    // The whole length, or -1 when the device failed or did not take every byte within
    // timeout_ms (LastError ETIMEDOUT) or keep_going said no (LastError ECANCELED). While the
    // device takes no data, keep_going (when given) is asked at least every kStopCheckMs.
    int32_t Write(const void* data, uint32_t length, uint32_t timeout_ms, const KeepGoing& keep_going = {});
    // Drops input not read yet; 0 on success, else an errno value.
    int Purge();

    // errno of the last failed call, 0 if none failed.
    int LastError() const { return last_error_; }

private:
    int32_t Fail(int error);

    int fd_ = -1;
    int last_error_ = 0;
};

}  // namespace korvane
