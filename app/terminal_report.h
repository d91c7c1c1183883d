// What the console reports per finished terminal, taken from the sessions' own calls:
// a port view that passes every call on to the rows and keeps, per port, the last
// result with its command code, the bytes sent in transfer steps and the session's time;
// and, from the sessions' events, when it began and ended, the identity read and the
// MD5 values of the application images the terminal received.
// Thread safety: session threads call the view for their own port while the front end's
// thread reads outcomes; one lock guards the records (the wrapped view guards itself).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/terminal_outcome.h"
#include "engine/port_view.h"
#include "engine/session_events.h"
#include "platform/tick.h"

namespace korvane {

class ReportingPortView final : public IPortView, public ISessionEvents {
public:
    explicit ReportingPortView(IPortView& inner, Clock& clock = DefaultClock());

    int AddRow(int nPort) override;
    int SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) override;
    int SetStepText(int nPort, const std::string& text) override;
    int SetProgress(int nPort, uint32_t nDone) override;
    int SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) override;
    int RemoveAll() override;

    void SessionBegan(int nPort, const std::string& bindingPosition) override;
    void LoaderVersion(int nPort, std::string_view text) override;
    void Tusn(int nPort, std::string_view tusn) override;
    void ImageDelivered(int nPort, std::span<const uint8_t> image) override;
    void Result(int nPort, bool success, const int* command, std::string_view message, bool interim) override;

    // The port's session as it stands; a session without any result counts as failed,
    // one unplugged before its result as "Unplugged".
    TerminalOutcome Outcome(int nPort) const;
    // Bytes of the transfer steps of every session so far.
    uint64_t TotalBytes() const;

private:
    struct Session {
        uint32_t startMs = 0;
        uint32_t lastResultMs = 0;
        uint64_t committedBytes = 0;  // bytes of the finished transfer steps
        uint32_t stepBytes = 0;       // bytes of the transfer step in progress
        bool countingBytes = false;   // the current step transfers bytes (not the erase percent)
        bool hasResult = false;
        bool finalResult = false;    // a result that is not interim
        bool interimNext = false;    // the next result is interim
        bool passed = false;
        std::string message;
        std::optional<int> command;
        std::string startedAt, finishedAt, tusn, loaderVersion, imageMd5;
    };

    Session* Find(int nPort);
    // The MD5 text of an image, worked out once per image.
    std::string ImageMd5(std::span<const uint8_t> image);

    IPortView& inner_;
    Clock& clock_;
    mutable std::mutex mutex_;
    std::map<int, Session> sessions_;
    uint64_t retiredBytes_ = 0;  // bytes of sessions replaced by a newer one on their port
    std::mutex md5Mutex_;        // guards md5s_; held while an image is hashed
    std::map<std::pair<const uint8_t*, size_t>, std::string> md5s_;
};

}  // namespace korvane
