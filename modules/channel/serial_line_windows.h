// The rules of the Windows serial line that do not need a device: the line settings, the
// retries of an open, and the write loop over bounded slices. They take the system calls as
// functions, so that what real USB serial drivers do and Wine never shows can be played from
// tables in tests. Windows builds only.
// Thread safety: pure functions; the calls they are given run on the caller's thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "modules/channel/serial_line.h"

namespace korvane {

// A port that was just announced may refuse to open for a moment.
inline constexpr DWORD kOpenRetryMs = 1000;
inline constexpr DWORD kOpenRetryPauseMs = 50;

// 8N1 at the baud rate, binary, no parity check and no flow control, DTR and RTS raised.
// Every character and limit a driver checks is set too, whatever the driver reported: one
// that reports equal XON and XOFF characters makes SetCommState fail otherwise.
void SetLine(DCB& line, uint32_t baud, DWORD queue_bytes);

// The nearest errno value for a Windows error, so that callers see the same codes on every
// platform.
int ErrnoFor(DWORD error);

// One try at opening: ERROR_SUCCESS with the handle set, or the system's error.
using OpenAttempt = std::function<DWORD(HANDLE& handle)>;
// Tries again after ERROR_ACCESS_DENIED or ERROR_FILE_NOT_FOUND until kOpenRetryMs of pauses
// have passed; any other error ends at once. ERROR_SUCCESS or the last error.
DWORD OpenWithRetry(const OpenAttempt& open, const std::function<void(DWORD ms)>& pause, HANDLE& handle);

// What one WriteFile of a bounded slice gave: the bytes the driver took and its error
// (ERROR_SUCCESS when WriteFile succeeded).
struct WriteSlice {
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
};
using WriteSome = std::function<WriteSlice(const unsigned char* data, DWORD length)>;

// Writes the whole buffer in slices until it is all taken (0), timeout_ms has passed
// (ETIMEDOUT), keep_going said no or the I/O was cancelled (ECANCELED), or the device failed
// (its errno). A slice the driver ends with ERROR_SEM_TIMEOUT is a slice without progress,
// not a failure. sent is the number of bytes the driver took, in every case.
int WriteInSlices(const WriteSome& write_some, const std::function<ULONGLONG()>& now, const unsigned char* data,
                  uint32_t length, uint32_t timeout_ms, const KeepGoing& keep_going, uint32_t& sent);

}  // namespace korvane
