#include "app/terminal_report.h"

#include <utility>

#include "crypto/digest.h"
#include "platform/wall_clock.h"

namespace korvane {

ReportingPortView::ReportingPortView(IPortView& inner, Clock& clock) : inner_(inner), clock_(clock) {}

int ReportingPortView::AddRow(int nPort) { return inner_.AddRow(nPort); }

int ReportingPortView::SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) {
    {
        std::lock_guard lock(mutex_);
        if (nStep == kStepConnecting) {
            Session fresh;
            fresh.startMs = clock_.Now();
            if (const Session* old = Find(nPort)) {
                retiredBytes_ += old->committedBytes + old->stepBytes;
            }
            sessions_[nPort] = std::move(fresh);
        } else if (Session* found = Find(nPort)) {
            Session& session = *found;
            if (nStep == kStepUnplugged && (!session.finalResult || session.message == kStoppedMessage)) {
                // Pulled out before its session had a result of its own: the stop it
                // caused is named for what it was.
                session.lastResultMs = clock_.Now();
                session.hasResult = session.finalResult = true;
                session.passed = false;
                session.message = "Unplugged";
                session.command.reset();
                session.finishedAt = IsoLocalTime(std::chrono::system_clock::now());
            }
            session.committedBytes += session.stepBytes;
            session.stepBytes = 0;
            // The erase step's bar counts percent, not bytes.
            session.countingBytes = bShowProgress != 0 && nStep != kStepErase;
        }
    }
    return inner_.SetStep(nPort, nStep, bShowProgress, nTotal);
}

int ReportingPortView::SetStepText(int nPort, const std::string& text) { return inner_.SetStepText(nPort, text); }

int ReportingPortView::SetProgress(int nPort, uint32_t nDone) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = sessions_.find(nPort); it != sessions_.end() && it->second.countingBytes) {
            it->second.stepBytes = nDone;
        }
    }
    return inner_.SetProgress(nPort, nDone);
}

int ReportingPortView::SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) {
    {
        std::lock_guard lock(mutex_);
        Session& session = sessions_[nPort];
        session.lastResultMs = clock_.Now();
        session.hasResult = true;
        session.finalResult = !std::exchange(session.interimNext, false);
        session.passed = bSuccess != 0;
        session.message = szErrorMsg;
        session.command = pCmd != nullptr ? std::optional<int>(*pCmd) : std::nullopt;
    }
    return inner_.SetResult(nPort, bSuccess, pCmd, szErrorMsg);
}

int ReportingPortView::RemoveAll() {
    {
        std::lock_guard lock(mutex_);
        sessions_.clear();
    }
    return inner_.RemoveAll();
}

TerminalOutcome ReportingPortView::Outcome(int nPort) const {
    TerminalOutcome outcome;
    outcome.nPort = nPort;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(nPort);
    if (it == sessions_.end() || !it->second.hasResult) {
        outcome.message = "no result";
        return outcome;
    }
    const Session& session = it->second;
    outcome.passed = session.passed;
    outcome.message = session.message;
    outcome.command = session.command;
    outcome.bytes = session.committedBytes + session.stepBytes;
    outcome.seconds = (session.lastResultMs - session.startMs) / 1000.0;
    outcome.startedAt = session.startedAt;
    outcome.finishedAt = session.finishedAt;
    outcome.tusn = session.tusn;
    outcome.loaderVersion = session.loaderVersion;
    outcome.imageMd5 = session.imageMd5;
    return outcome;
}

uint64_t ReportingPortView::TotalBytes() const {
    std::lock_guard lock(mutex_);
    uint64_t total = retiredBytes_;
    for (const auto& [port, session] : sessions_) {
        total += session.committedBytes + session.stepBytes;
    }
    return total;
}

ReportingPortView::Session* ReportingPortView::Find(int nPort) {
    const auto it = sessions_.find(nPort);
    return it != sessions_.end() ? &it->second : nullptr;
}

void ReportingPortView::SessionBegan(int nPort, const std::string& /*bindingPosition*/) {
    const std::string now = IsoLocalTime(std::chrono::system_clock::now());
    std::lock_guard lock(mutex_);
    sessions_[nPort].startedAt = now;
}

void ReportingPortView::LoaderVersion(int nPort, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (Session* session = Find(nPort)) {
        session->loaderVersion = text;
    }
}

void ReportingPortView::Tusn(int nPort, std::string_view tusn) {
    std::lock_guard lock(mutex_);
    if (Session* session = Find(nPort)) {
        session->tusn = tusn;
    }
}

void ReportingPortView::ImageDelivered(int nPort, std::span<const uint8_t> image) {
    const std::string md5 = ImageMd5(image);
    std::lock_guard lock(mutex_);
    if (Session* session = Find(nPort)) {
        session->imageMd5 += (session->imageMd5.empty() ? "" : " ") + md5;
    }
}

void ReportingPortView::Result(int nPort, bool /*success*/, const int* /*command*/, std::string_view /*message*/,
                               bool interim) {
    const std::string now = IsoLocalTime(std::chrono::system_clock::now());
    std::lock_guard lock(mutex_);
    Session& session = sessions_[nPort];
    if (interim) {
        session.interimNext = true;
    } else {
        session.finishedAt = now;
    }
}

std::string ReportingPortView::ImageMd5(std::span<const uint8_t> image) {
    std::lock_guard lock(md5Mutex_);
    std::string& md5 = md5s_[{image.data(), image.size()}];
    if (md5.empty()) {
        md5 = Md5Hex(image.data(), image.size());
    }
    return md5;
}

}  // namespace korvane
