// The Windows serial line against what real USB serial drivers do and Wine does not: the line
// settings a driver reports, ports that refuse to open just after they appear, and write
// slices ended with ERROR_SEM_TIMEOUT.

#include "modules/channel/serial_line_windows.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace korvane {
namespace {

// ---- line settings ----

struct LineCase {
    const char* name;
    void (*driver)(DCB& line);  // what GetCommState reported
};

void Zeroed(DCB& line) { std::memset(&line, 0, sizeof line); }
void EqualXonXoff(DCB& line) {
    Zeroed(line);
    line.XonChar = line.XoffChar = 0;
    line.XonLim = line.XoffLim = 0xFFFF;
}
void Filled(DCB& line) { std::memset(&line, 0xFF, sizeof line); }
void FlowControlOn(DCB& line) {
    Zeroed(line);
    line.fOutxCtsFlow = line.fOutxDsrFlow = line.fOutX = line.fInX = TRUE;
    line.fRtsControl = RTS_CONTROL_HANDSHAKE;
    line.fDtrControl = DTR_CONTROL_HANDSHAKE;
    line.Parity = EVENPARITY;
    line.fParity = TRUE;
    line.StopBits = TWOSTOPBITS;
    line.ByteSize = 7;
    line.XonChar = line.XoffChar = 0x13;
}

class LineSettings : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineSettings, EveryFieldADriverChecksIsSet) {
    DCB line;
    GetParam().driver(line);
    line.DCBlength = sizeof line;
    SetLine(line, 115200, 16 * 1024);
    EXPECT_EQ(line.BaudRate, 115200u);
    EXPECT_EQ(line.ByteSize, 8);
    EXPECT_EQ(line.Parity, NOPARITY);
    EXPECT_EQ(line.StopBits, ONESTOPBIT);
    EXPECT_TRUE(line.fBinary);
    EXPECT_FALSE(line.fParity);
    EXPECT_FALSE(line.fOutxCtsFlow);
    EXPECT_FALSE(line.fOutxDsrFlow);
    EXPECT_FALSE(line.fOutX);
    EXPECT_FALSE(line.fInX);
    EXPECT_EQ(line.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(line.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_FALSE(line.fAbortOnError);
    EXPECT_NE(line.XonChar, line.XoffChar);
    EXPECT_EQ(line.XonChar, 0x11);
    EXPECT_EQ(line.XoffChar, 0x13);
    // The limits fit the input queue with room to spare.
    EXPECT_GT(line.XonLim, 0);
    EXPECT_LT(line.XonLim + line.XoffLim, 16 * 1024);
}

INSTANTIATE_TEST_SUITE_P(Drivers, LineSettings,
                         ::testing::Values(LineCase{"Zeroed", Zeroed}, LineCase{"EqualXonXoff", EqualXonXoff},
                                           LineCase{"AllBitsSet", Filled}, LineCase{"FlowControlOn", FlowControlOn}),
                         [](const auto& param_info) { return param_info.param.name; });

// ---- opening a port just announced ----

struct OpenCase {
    const char* name;
    std::vector<DWORD> errors;  // of successive tries; the last one repeats
    DWORD result;
    int tries;
    DWORD paused_ms;
};

class OpenRetry : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenRetry, TriesAgainForASecondWhileThePortIsNotReady) {
    const OpenCase& c = GetParam();
    int tries = 0;
    DWORD paused = 0;
    HANDLE handle = INVALID_HANDLE_VALUE;
    const DWORD result = OpenWithRetry(
        [&](HANDLE& opened) {
            const DWORD error = c.errors[std::min<size_t>(static_cast<size_t>(tries), c.errors.size() - 1)];
            ++tries;
            opened = error == ERROR_SUCCESS ? reinterpret_cast<HANDLE>(42) : INVALID_HANDLE_VALUE;
            return error;
        },
        [&](DWORD ms) { paused += ms; }, handle);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(paused, c.paused_ms);
    EXPECT_EQ(handle, result == ERROR_SUCCESS ? reinterpret_cast<HANDLE>(42) : INVALID_HANDLE_VALUE);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenRetry,
    ::testing::Values(
        OpenCase{"OpensAtOnce", {ERROR_SUCCESS}, ERROR_SUCCESS, 1, 0},
        OpenCase{"NotYetAccessible", {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS}, ERROR_SUCCESS, 3, 100},
        OpenCase{"NameNotYetThere", {ERROR_FILE_NOT_FOUND, ERROR_SUCCESS}, ERROR_SUCCESS, 2, 50},
        OpenCase{"HeldByAnotherProgram", {ERROR_ACCESS_DENIED}, ERROR_ACCESS_DENIED, 21, 1000},
        OpenCase{"GoneForGood", {ERROR_FILE_NOT_FOUND}, ERROR_FILE_NOT_FOUND, 21, 1000},
        OpenCase{"OtherErrorsEndAtOnce", {ERROR_GEN_FAILURE}, ERROR_GEN_FAILURE, 1, 0},
        OpenCase{"SharingViolationIsNotRetried", {ERROR_SHARING_VIOLATION}, ERROR_SHARING_VIOLATION, 1, 0}),
    [](const auto& param_info) { return param_info.param.name; });

// ---- write slices ----

struct WriteCase {
    const char* name;
    std::vector<WriteSlice> slices;  // what the driver does with successive slices; the last repeats
    bool keep_going;                 // the caller's answer between slices
    int error;
    uint32_t sent;
};

class WriteSlices : public ::testing::TestWithParam<WriteCase> {};

// Each slice takes 50 ms of a fake clock; the write limit is 1000 ms; 100 bytes are written.
TEST_P(WriteSlices, CountsWhatTheDriverTookAndGoesOnToTheLimit) {
    const WriteCase& c = GetParam();
    ULONGLONG clock = 0;
    size_t at = 0;
    const auto write_some = [&](const unsigned char*, DWORD length) {
        WriteSlice slice = c.slices[std::min(at, c.slices.size() - 1)];
        ++at;
        slice.written = std::min(slice.written, length);
        clock += 50;
        return slice;
    };
    const std::vector<unsigned char> data(100, 0x7E);
    uint32_t sent = 0;
    const int error = WriteInSlices(write_some, [&] { return clock; }, data.data(), 100, 1000,
                                    [&] { return c.keep_going; }, sent);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(sent, c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteSlices,
    ::testing::Values(
        WriteCase{"AllAtOnce", {{100, ERROR_SUCCESS}}, true, 0, 100},
        WriteCase{"ShortSlices", {{30, ERROR_SUCCESS}, {0, ERROR_SUCCESS}, {70, ERROR_SUCCESS}}, true, 0, 100},
        // A slice that ran out of time is reported as an error by some drivers, with the
        // bytes they took: neither a failure nor a reason to send those bytes again.
        WriteCase{"SemTimeoutWithProgress", {{40, ERROR_SEM_TIMEOUT}, {60, ERROR_SUCCESS}}, true, 0, 100},
        WriteCase{"SemTimeoutThenRest", {{0, ERROR_SEM_TIMEOUT}, {0, ERROR_SEM_TIMEOUT}, {100, ERROR_SUCCESS}}, true,
                  0, 100},
        WriteCase{"SemTimeoutUntilTheLimit", {{10, ERROR_SEM_TIMEOUT}, {0, ERROR_SEM_TIMEOUT}}, true, ETIMEDOUT, 10},
        WriteCase{"DeviceGone", {{20, ERROR_SUCCESS}, {0, ERROR_BAD_COMMAND}}, true, EIO, 20},
        WriteCase{"Cancelled", {{20, ERROR_SUCCESS}, {0, ERROR_OPERATION_ABORTED}}, true, ECANCELED, 20},
        WriteCase{"CallerStops", {{0, ERROR_SEM_TIMEOUT}}, false, ECANCELED, 0}),
    [](const auto& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace korvane
