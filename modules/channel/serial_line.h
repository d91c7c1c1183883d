// One open serial device in raw 8N1 mode without flow control, the operating-system half of
// a channel. Linux: termios and poll, for real serial ports and pseudo-terminals alike.
// Windows: \\.\COMn opened for overlapped I/O, with the communication time-outs bounding every
// read and write.
// Thread safety: one SerialLine is used by one thread at a time, except CancelPending, which
// another thread may call while it reads or writes; separate lines are independent.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <cstddef>
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
    bool IsOpen() const { return handle_ != -1; }

    // Bytes read (at most capacity), 0 when nothing arrived within wait_ms, -1 when the device
    // failed or is gone.
    int32_t Read(void* buffer, uint32_t capacity, uint32_t wait_ms);
    // The whole length, or -1 when the device failed or did not take every byte within
    // timeout_ms (LastError ETIMEDOUT) or keep_going said no (LastError ECANCELED). While the
    // device takes no data, keep_going (when given) is asked at least every kStopCheckMs.
    int32_t Write(const void* data, uint32_t length, uint32_t timeout_ms, const KeepGoing& keep_going = {});
    // Drops input not read yet; 0 on success, else an errno value.
    int Purge();

    // For tear-down, from another thread: ends the read or write in progress (on Windows even
    // one a driver keeps pending after its device has gone), and from now until the next Open
    // reads return 0 at once and writes fail with ECANCELED. Not while the line is closed or
    // opened.
    void CancelPending();

    // errno value of the last failed call (the system's error mapped to the nearest errno on
    // Windows), 0 if none failed.
    int LastError() const { return last_error_; }

private:
    int32_t Fail(int error);
    int Fd() const { return static_cast<int>(handle_); }

    std::intptr_t handle_ = -1;  // file descriptor (Linux) or HANDLE (Windows); -1 when closed
    int last_error_ = 0;
    std::atomic<bool> cancelled_{false};
    // Windows: the event each read or write waits on, and the manual-reset event CancelPending
    // sets so that a waiting read or write stops waiting; 0 when closed. Unused on Linux.
    [[maybe_unused]] std::intptr_t io_event_ = 0;
    [[maybe_unused]] std::intptr_t cancel_event_ = 0;
    // The read wait and write bound the device was last given, so that they are set again
    // only when they change (Windows; one system call saved per read).
    uint64_t applied_timeouts_ = UINT64_MAX;
};

}  // namespace korvane
