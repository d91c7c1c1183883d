#include "modules/channel/serial_line.h"

#include <windows.h>

#include <cerrno>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

// Buffers asked of the driver; it may keep its own sizes.
constexpr DWORD kDriverBufferBytes = 16 * 1024;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool SupportedBaud(uint32_t baud) {
    switch (baud) {
    case 9600: case 19200: case 38400: case 57600: case 115200: case 230400: case 460800: case 921600:
        return true;
    default:
        return false;
    }
}

// The nearest errno value for a Windows error, so that callers see the same codes on
// every platform.
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
    default:
        return EIO;  // the device failed or is gone
    }
}

// 8N1, binary, no parity check, no hardware or software flow control; DTR and RTS raised
// as a terminal expects of an open port.
void SetLine(DCB& line, uint32_t baud) {
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
    HANDLE port = ::CreateFileW(Wide(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return last_error_ = ErrnoFor(::GetLastError());
    }
    DCB line{};
    line.DCBlength = sizeof line;
    bool ok = ::GetCommState(port, &line) != 0;
    if (ok) {
        SetLine(line, baud);
        ok = ::SetCommState(port, &line) != 0;
    }
    COMMTIMEOUTS timeouts = TimeoutsFor(0, 0);
    ok = ok && ::SetCommTimeouts(port, &timeouts) != 0;
    if (!ok) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(port);
        return last_error_ = error == ERROR_SUCCESS ? EIO : ErrnoFor(error);
    }
    ::SetupComm(port, kDriverBufferBytes, kDriverBufferBytes);
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    handle_ = reinterpret_cast<std::intptr_t>(port);
    applied_timeouts_ = TimeoutsKey(0, 0);
    last_error_ = 0;
    return 0;
}

void SerialLine::Close() {
    if (handle_ != -1) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = -1;
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
    DWORD got = 0;
    if (::ReadFile(AsHandle(handle_), buffer, wanted, &got, nullptr) == 0) {
        return Fail(ErrnoFor(::GetLastError()));
    }
    return static_cast<int32_t>(got);
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
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint32_t sent = 0;
    while (sent < length) {
        if (!ApplyTimeouts(handle_, applied_timeouts_, read_wait, slice)) {
            return Fail(ErrnoFor(::GetLastError()));
        }
        DWORD written = 0;
        if (::WriteFile(AsHandle(handle_), bytes + sent, length - sent, &written, nullptr) == 0) {
            return Fail(ErrnoFor(::GetLastError()));
        }
        sent += written;
        if (sent == length) {
            break;
        }
        if (::GetTickCount64() >= deadline) {
            return Fail(ETIMEDOUT);  // the device did not take every byte within the bound
        }
        if (keep_going && !keep_going()) {
            return Fail(ECANCELED);
        }
    }
    return static_cast<int32_t>(length);
}

int SerialLine::Purge() {
    if (handle_ == -1) {
        return last_error_ = EBADF;
    }
    return ::PurgeComm(AsHandle(handle_), PURGE_RXCLEAR) != 0 ? 0 : (last_error_ = ErrnoFor(::GetLastError()));
}

}  // namespace korvane
