// What the console reports per finished terminal, taken from the sessions' own calls:
// a port view that passes every call on to the rows and keeps, per port, the last
// result with its command code, the bytes sent in transfer steps and the session's time.
// Thread safety: session threads call the view for their own port while the front end's
// thread reads outcomes; one lock guards the records (the wrapped view guards itself).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/port_view.h"
#include "platform/tick.h"

namespace korvane {

struct TerminalOutcome {
    int nPort = 0;
    std::string bindingPosition;  // as the row's BindingPort cell shows it
    bool passed = false;
    std::string message;          // the last result's message ("PASS" after a pass)
    std::optional<int> command;   // the failed exchange's command code
    uint64_t bytes = 0;           // bytes of the transfer steps (images, logo, files, audio)
    double seconds = 0;           // from Connecting to the last result
};

class ReportingPortView final : public IPortView {
public:
    explicit ReportingPortView(IPortView& inner, Clock& clock = DefaultClock());

    int AddRow(int nPort) override;
    int SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) override;
    int SetStepText(int nPort, const std::string& text) override;
    int SetProgress(int nPort, uint32_t nDone) override;
    int SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) override;
    int RemoveAll() override;

    // The port's session as it stands; a session without any result counts as failed.
    TerminalOutcome Outcome(int nPort) const;

private:
    struct Session {
        uint32_t startMs = 0;
        uint32_t lastResultMs = 0;
        uint64_t committedBytes = 0;  // bytes of the finished transfer steps
        uint32_t stepBytes = 0;       // bytes of the transfer step in progress
        bool countingBytes = false;   // the current step transfers bytes (not the erase percent)
        bool hasResult = false;
        bool passed = false;
        std::string message;
        std::optional<int> command;
    };

    IPortView& inner_;
    Clock& clock_;
    mutable std::mutex mutex_;
    std::map<int, Session> sessions_;
};

// The report: CSV with a header line, or one JSON object per line when the file name ends
// in ".jsonl". False with a reason when the file cannot be written.
bool WriteReport(const std::string& file, const std::vector<TerminalOutcome>& outcomes, std::string& error);
std::string ReportCsvHeader();
std::string ReportCsvLine(const TerminalOutcome& outcome);
std::string ReportJsonLine(const TerminalOutcome& outcome);

}  // namespace korvane
