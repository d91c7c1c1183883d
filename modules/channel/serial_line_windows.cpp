#include "modules/channel/serial_line.h"
#include "modules/channel/serial_line_windows.h"

#include <windows.h>

#include <cerrno>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

// Buffers asked of the driver; it may keep its own sizes.
constexpr DWORD kDriverBufferBytes = 16 * 1024;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// What one overlapped read or write moved, and the system's error (ERROR_SUCCESS when none).
struct IoResult {
    DWORD bytes = 0;
    DWORD error = ERROR_SUCCESS;
};

// Time a driver gets beyond the bound of its communication time-outs to end an I/O itself.
constexpr DWORD kBoundSlackMs = 200;

// Starts one ReadFile or WriteFile (start) on the overlapped port and waits until it ends or
// the line's cancel event is set. A cancel is carried out here, on the thread that owns the
// OVERLAPPED, and its result collected before returning, so that no I/O is left pending on
// an OVERLAPPED that is gone; bytes the driver moved before the cancel are in the result.
// The communication time-outs bound the I/O (bound_ms); a driver that does not end an
// overlapped I/O at that bound (Wine does not) has it ended here soon after, as if it had:
// success with the bytes it moved.
template <typename Start>
IoResult RunIo(HANDLE port, HANDLE io_event, HANDLE cancel_event, DWORD bound_ms, const Start& start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = io_event;
    IoResult result;
    DWORD woken = WAIT_OBJECT_0;  // an I/O that completed at once
    if (start(&overlapped) == 0) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            result.error = error;
            return result;  // not started: nothing pending
        }
        // The I/O event first, so that an I/O that ended as the cancel came keeps its bytes.
        const HANDLE events[] = {io_event, cancel_event};
        const DWORD wait_ms = bound_ms < INFINITE - kBoundSlackMs ? bound_ms + kBoundSlackMs : INFINITE - 1;
        woken = ::WaitForMultipleObjects(2, events, FALSE, wait_ms);
        if (woken != WAIT_OBJECT_0) {
            ::CancelIoEx(port, &overlapped);
        }
    }
    if (::GetOverlappedResult(port, &overlapped, &result.bytes, TRUE) == 0) {
        result.error = ::GetLastError();
    }
    if (woken == WAIT_TIMEOUT && result.error == ERROR_OPERATION_ABORTED) {
        result.error = ERROR_SUCCESS;  // ended at its bound, not by a cancel of the line
    }
    return result;
}

bool SupportedBaud(uint32_t baud) {
    switch (baud) {
    case 9600: case 19200: case 38400: case 57600: case 115200: case 230400: case 460800: case 921600:
        return true;
    default:
        return false;
    }
}

// Read: return at once with what has arrived, else wait up to read_wait_ms for the first
// byte (the MAXDWORD/MAXDWORD pair). Write: give up after write_bound_ms in all.
COMMTIMEOUTS TimeoutsFor(uint32_t read_wait_ms, uint32_t write_bound_ms) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (read_wait_ms > 0) {
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        // MAXDWORD here would mean "no time-out" to some drivers.
        timeouts.ReadTotalTimeoutConstant = read_wait_ms < MAXDWORD ? read_wait_ms : MAXDWORD - 1;
    }
    // 0 would mean "no bound"; the smallest bound is the nearest to "no waiting".
    timeouts.WriteTotalTimeoutConstant = write_bound_ms > 0 ? write_bound_ms : 1;
    return timeouts;
}

uint64_t TimeoutsKey(uint32_t read_wait_ms, uint32_t write_bound_ms) {
    return (uint64_t{read_wait_ms} << 32) | write_bound_ms;
}

// Sets the read wait and write bound when they differ from what the device has.
bool ApplyTimeouts(std::intptr_t handle, uint64_t& applied, uint32_t read_wait_ms, uint32_t write_bound_ms) {
    const uint64_t wanted = TimeoutsKey(read_wait_ms, write_bound_ms);
    if (applied == wanted) {
        return true;
    }
    COMMTIMEOUTS timeouts = TimeoutsFor(read_wait_ms, write_bound_ms);
    if (::SetCommTimeouts(AsHandle(handle), &timeouts) == 0) {
        applied = UINT64_MAX;
        return false;
    }
    applied = wanted;
    return true;
}

}  // namespace

int ErrnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EBUSY;  // another program holds the port
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
        return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
        return ETIMEDOUT;
    case ERROR_OPERATION_ABORTED:
        return ECANCELED;
    default:
        return EIO;  // the device failed or is gone
    }
}

void SetLine(DCB& line, uint32_t baud, DWORD queue_bytes) {
    line.BaudRate = baud;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fTXContinueOnXoff = TRUE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    // Unused without software flow control, but checked by SetCommState all the same: the
    // characters must differ and the limits must fit the input queue.
    line.XonChar = 0x11;
    line.XoffChar = 0x13;
    line.XonLim = static_cast<WORD>(queue_bytes / 4 < 0xFFFF ? queue_bytes / 4 : 0xFFFF);
    line.XoffLim = line.XonLim;
    line.ErrorChar = 0;
    line.EofChar = 0;
    line.EvtChar = 0;
}

DWORD OpenWithRetry(const OpenAttempt& open, const std::function<void(DWORD ms)>& pause, HANDLE& handle) {
    DWORD waited = 0;
    for (;;) {
        const DWORD error = open(handle);
        if (error == ERROR_SUCCESS) {
            return error;
        }
        // The driver announces the port before it takes opens; the interface may also appear
        // a moment before its device name does.
        const bool not_ready = error == ERROR_ACCESS_DENIED || error == ERROR_FILE_NOT_FOUND;
        if (!not_ready || waited >= kOpenRetryMs) {
            return error;
        }
        pause(kOpenRetryPauseMs);
        waited += kOpenRetryPauseMs;
    }
}

int WriteInSlices(const WriteSome& write_some, const std::function<ULONGLONG()>& now, const unsigned char* data,
                  uint32_t length, uint32_t timeout_ms, const KeepGoing& keep_going, uint32_t& sent) {
    sent = 0;
    const ULONGLONG deadline = now() + timeout_ms;
    while (sent < length) {
        const WriteSlice slice = write_some(data + sent, length - sent);
        sent += slice.written < length - sent ? slice.written : length - sent;
        // Some drivers end a slice that ran out of time with ERROR_SEM_TIMEOUT instead of a
        // short count; what they took still counts and the write goes on to its own limit.
        if (slice.error != ERROR_SUCCESS && slice.error != ERROR_SEM_TIMEOUT) {
            return ErrnoFor(slice.error);
        }
        if (sent == length) {
            break;
        }
        if (now() >= deadline) {
            return ETIMEDOUT;  // the device did not take every byte within the bound
        }
        if (keep_going && !keep_going()) {
            return ECANCELED;
        }
    }
    return 0;
}

SerialLine::~SerialLine() { Close(); }

int32_t SerialLine::Fail(int error) {
    last_error_ = error;
    return -1;
}

int SerialLine::Open(const std::string& device, uint32_t baud) {
    Close();
    if (!SupportedBaud(baud)) {
        return last_error_ = EINVAL;
    }
    const std::wstring name = Wide(device);
    HANDLE port = INVALID_HANDLE_VALUE;
    const DWORD open_error = OpenWithRetry(
        [&name](HANDLE& handle) {
            handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
            return handle != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : ::GetLastError();
        },
        [](DWORD ms) { ::Sleep(ms); }, port);
    if (open_error != ERROR_SUCCESS) {
        return last_error_ = ErrnoFor(open_error);
    }
    handle_ = reinterpret_cast<std::intptr_t>(port);
    // Auto-reset for the I/O, whose calls reset it anyway; manual-reset for the cancel, so
    // that it stays set for every read and write until the next Open.
    io_event_ = reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    cancel_event_ = reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DCB line{};
    line.DCBlength = sizeof line;
    bool ok = io_event_ != 0 && cancel_event_ != 0 && ::GetCommState(port, &line) != 0;
    if (ok) {
        SetLine(line, baud, kDriverBufferBytes);
        ok = ::SetCommState(port, &line) != 0;
    }
    COMMTIMEOUTS timeouts = TimeoutsFor(0, 0);
    ok = ok && ::SetCommTimeouts(port, &timeouts) != 0;
    if (!ok) {
        const DWORD error = ::GetLastError();
        Close();
        return last_error_ = error == ERROR_SUCCESS ? EIO : ErrnoFor(error);
    }
    ::SetupComm(port, kDriverBufferBytes, kDriverBufferBytes);
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    cancelled_.store(false);
    applied_timeouts_ = TimeoutsKey(0, 0);
    last_error_ = 0;
    return 0;
}

void SerialLine::Close() {
    if (handle_ != -1) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = -1;
    }
    for (std::intptr_t* event : {&io_event_, &cancel_event_}) {
        if (*event != 0) {
            ::CloseHandle(AsHandle(*event));
            *event = 0;
        }
    }
}

int32_t SerialLine::Read(void* buffer, uint32_t capacity, uint32_t wait_ms) {
    if (handle_ == -1) {
        return Fail(EBADF);
    }
    if (buffer == nullptr) {
        return Fail(EINVAL);
    }
    if (capacity == 0) {
        return 0;
    }
    const uint32_t write_bound = static_cast<uint32_t>(applied_timeouts_);
    if (!ApplyTimeouts(handle_, applied_timeouts_, wait_ms, write_bound)) {
        return Fail(ErrnoFor(::GetLastError()));
    }
    const DWORD wanted = capacity > INT32_MAX ? INT32_MAX : capacity;
    if (cancelled_.load()) {
        return 0;  // torn down: the caller hears its stop at its next turn
    }
    const IoResult read = RunIo(AsHandle(handle_), AsHandle(io_event_), AsHandle(cancel_event_), wait_ms,
                                [this, buffer, wanted](OVERLAPPED* overlapped) {
                                    return ::ReadFile(AsHandle(handle_), buffer, wanted, nullptr, overlapped);
                                });
    // A cancelled read still hands over what arrived before the cancel.
    if (read.error != ERROR_SUCCESS && read.error != ERROR_OPERATION_ABORTED) {
        return Fail(ErrnoFor(read.error));
    }
    return static_cast<int32_t>(read.bytes);
}

int32_t SerialLine::Write(const void* data, uint32_t length, uint32_t timeout_ms, const KeepGoing& keep_going) {
    if (handle_ == -1) {
        return Fail(EBADF);
    }
    if ((data == nullptr && length > 0) || length > INT32_MAX) {
        return Fail(EINVAL);
    }
    // Without keep_going one write bounded by the whole time-out; with it, writes bounded by
    // kStopCheckMs each, so that a stop is heard while the device takes no data.
    const uint32_t read_wait = static_cast<uint32_t>(applied_timeouts_ >> 32);
    const uint32_t slice = keep_going && timeout_ms > static_cast<uint32_t>(kStopCheckMs) ? kStopCheckMs : timeout_ms;
    const auto write_some = [this, read_wait, slice](const unsigned char* bytes, DWORD count) {
        WriteSlice result;
        if (cancelled_.load()) {
            result.error = ERROR_OPERATION_ABORTED;
        } else if (!ApplyTimeouts(handle_, applied_timeouts_, read_wait, slice)) {
            result.error = ::GetLastError();
        } else {
            const IoResult written = RunIo(AsHandle(handle_), AsHandle(io_event_), AsHandle(cancel_event_), slice,
                                           [this, bytes, count](OVERLAPPED* overlapped) {
                                               return ::WriteFile(AsHandle(handle_), bytes, count, nullptr, overlapped);
                                           });
            result.written = written.bytes;
            result.error = written.error;
        }
        return result;
    };
    uint32_t sent = 0;
    const int error = WriteInSlices(write_some, [] { return ::GetTickCount64(); },
                                    static_cast<const unsigned char*>(data), length, timeout_ms, keep_going, sent);
    return error == 0 ? static_cast<int32_t>(length) : Fail(error);
}

void SerialLine::CancelPending() {
    cancelled_.store(true);
    if (cancel_event_ != 0) {
        // Wakes a read or write waiting for its I/O; that thread cancels its own I/O, also one
        // a driver keeps pending after its device has gone.
        ::SetEvent(AsHandle(cancel_event_));
    }
}

int SerialLine::Purge() {
    if (handle_ == -1) {
        return last_error_ = EBADF;
    }
    return ::PurgeComm(AsHandle(handle_), PURGE_RXCLEAR) != 0 ? 0 : (last_error_ = ErrnoFor(::GetLastError()));
}

}  // namespace korvane
