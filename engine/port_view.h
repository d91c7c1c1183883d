// The port view: one row per port with its step, step text, progress and result.
// The engine reports through it; the window and the console each provide one.
// Thread safety: every call may come from any thread (session threads report for their
// own port, the front end's thread adds and removes rows); implementations guard rows.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

// Step numbers of a port and the names shown in its Status cell.
enum PortStep : int {
    kStepWaiting = 0,
    kStepConnecting = 1,
    kStepMainApp = 2,
    kStepSecondApp = 3,
    kStepLogo = 4,
    kStepErase = 5,
    kStepFile = 6,
    kStepAmr = 7,
    kStepFinish = 8,
    kStepUnplugged = 9,
    kStepPaused = 10,
};

// The result message of a session that was stopped (the run ended, or its terminal went)
// before it had a result of its own.
inline constexpr char kStoppedMessage[] = "Stopped";

class IPortView {
public:
    virtual ~IPortView() = default;
    // Each returns 1 when the port has a row, 0 (changing nothing) when it has none.
    virtual int AddRow(int nPort) = 0;
    virtual int SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) = 0;
    virtual int SetStepText(int nPort, const std::string& text) = 0;
    virtual int SetProgress(int nPort, uint32_t nDone) = 0;
    // pCmd: the command code of the failed exchange, or null.
    virtual int SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) = 0;
    virtual int RemoveAll() = 0;
};

}  // namespace korvane
