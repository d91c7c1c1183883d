#include "app/port_rows.h"

#include <algorithm>
#include <climits>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_values.h"
#include "platform/trace.h"

namespace korvane {

namespace {

constexpr std::array<const char*, 11> kStepNames = {
    "Waiting",          "Connecting",       "Downloading main app", "Downloading second app",
    "Downloading Logo", "Erase flash",      "Downloading file",     "Downloading AMR file",
    "Finish",           "Unplugged",        "Paused",
};

constexpr const char* kTextUnplugged = "Unplugged";

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A Progress text that still shows a result survives the session's return to "Waiting".
bool ShowsResult(const std::string& progress) {
    const size_t passed = progress.find("Passed");
    return passed == 0 || passed == 9 || passed == 10 || Contains(progress, "Failed:");
}

// Marks a running time count as finished: "12" becomes "12s"; empty stays empty.
void StopTimeCount(std::string& time) {
    if (!time.empty() && !Contains(time, "s")) {
        time += 's';
    }
}

bool IsTransferStep(int nStep) { return nStep >= kStepMainApp && nStep <= kStepAmr; }

void HideBar(PortRow& row) {
    row.barDone = 0;
    row.barVisible = false;
}

}  // namespace

const char* StepName(int nStep) {
    return nStep >= 0 && nStep < static_cast<int>(kStepNames.size()) ? kStepNames[static_cast<size_t>(nStep)] : "";
}

PortRows::PortRows(const CKorvaneAppDownloadApp& app) : app_(app) {}

PortRow* PortRows::Find(int nPort) {
    const auto it = portMap_.find(nPort);
    return it == portMap_.end() ? nullptr : &rows_[static_cast<size_t>(it->second)];
}

std::shared_ptr<const PortRows::Listener> PortRows::Changed() {
    ++version_;
    return listener_;
}

void PortRows::Notify(const std::shared_ptr<const Listener>& listener, int nItem) {
    if (listener && *listener) {
        (*listener)(nItem);
    }
}

std::string PortRows::BindingPosition(int nPort) const {
    const int count = app_.bindingCount;
    if (count <= 0) {
        return "1";
    }
    const std::string name = "COM" + std::to_string(nPort);
    const int slots = std::min(count, static_cast<int>(app_.bindingPorts.size()));
    for (int i = 0; i < slots; ++i) {
        if (app_.bindingPorts[static_cast<size_t>(i)] == name) {
            return std::to_string(i + 1);
        }
    }
    return std::to_string(count + 1);
}

int PortRows::AddRow(int nPort) {
    std::shared_ptr<const Listener> listener;
    int nItem = 0;
    {
        std::lock_guard lock(mutex_);
        if (PortRow* row = Find(nPort)) {
            row->cells[kColPort] = std::to_string(nPort);
            nItem = row->nItem;
        } else {
            PortRow added;
            added.nItem = static_cast<int>(rows_.size());
            added.nPort = nPort;
            added.cells[kColPort] = std::to_string(nPort);
            nItem = added.nItem;
            rows_.push_back(std::move(added));
            portMap_.emplace(nPort, nItem);
        }
        listener = Changed();
    }
    Notify(listener, nItem);
    return 1;
}

template <typename Change>
int PortRows::ChangeRow(int nPort, Change change) {
    std::shared_ptr<const Listener> listener;
    int nItem = 0;
    {
        std::lock_guard lock(mutex_);
        PortRow* row = Find(nPort);
        if (row == nullptr) {
            return 0;
        }
        if (!change(*row)) {
            return 1;
        }
        nItem = row->nItem;
        listener = Changed();
    }
    Notify(listener, nItem);
    return 1;
}

int PortRows::SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) {
    if (nStep < kStepWaiting || nStep > kStepPaused) {
        return 0;
    }
    return ChangeRow(nPort, [&](PortRow& row) {
        row.cells[kColBindingPort] = BindingPosition(nPort);
        if (row.nState == kStepFinish && nStep == kStepUnplugged) {
            // A finished terminal that goes away keeps its time and shows only that it left.
            row.nState = kStepUnplugged;
            row.cells[kColStatus] = kTextUnplugged;
            row.cells[kColProgress] = kTextUnplugged;
            return true;
        }
        row.nState = nStep;
        row.cells[kColStatus] = StepName(nStep);
        std::string& time = row.cells[kColTime];
        if (nStep == kStepConnecting && (time.empty() || Contains(time, "s"))) {
            time = "0";
        } else if (IsTransferStep(nStep) && !time.empty() && time.back() == 's') {
            // A terminal found running its application gets an interim result before its
            // loader takes the images; its transfers must still be timed.
            time.pop_back();
        }
        HideBar(row);
        std::string& progress = row.cells[kColProgress];
        if (bShowProgress != 0) {
            row.barTotal = nTotal;
            row.barVisible = true;
        } else if (nStep < kStepConnecting) {
            if (!ShowsResult(progress)) {
                progress = "Waiting...";
            }
        } else if (nStep <= kStepFinish) {
            progress = "In progress";
        }
        return true;
    });
}

int PortRows::SetStepText(int nPort, const std::string& text) {
    return ChangeRow(nPort, [&](PortRow& row) {
        // Repeated reports of the same action leave the row (and its painting) alone.
        if (row.cells[kColStep] == text) {
            return false;
        }
        row.cells[kColStep] = text;
        return true;
    });
}

int PortRows::SetProgress(int nPort, uint32_t nDone) {
    return ChangeRow(nPort, [&](PortRow& row) {
        row.barDone = nDone;
        return true;
    });
}

int PortRows::SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) {
    KTRACE("SetResult, nPort = %d, bSuccess = %d, nFlag = %d, szErrorMsg = %s, CMD = %d\n", nPort, bSuccess, 1,
           szErrorMsg.c_str(), pCmd != nullptr ? *pCmd : -1);
    return ChangeRow(nPort, [&](PortRow& row) {
        HideBar(row);
        StopTimeCount(row.cells[kColTime]);
        if (row.nState == kStepUnplugged) {
            row.cells[kColProgress] = kTextUnplugged;
            row.cells[kColStatus] = kTextUnplugged;
            return true;
        }
        row.nState = kStepFinish;
        row.cells[kColStatus] = StepName(kStepFinish);
        row.cells[kColProgress] = bSuccess != 0 ? std::string("Passed") : "Failed:" + szErrorMsg;
        row.bSuccess = bSuccess != 0 ? 1 : 0;
        return true;
    });
}

int PortRows::RemoveAll() {
    std::shared_ptr<const Listener> listener;
    {
        std::lock_guard lock(mutex_);
        rows_.clear();
        portMap_.clear();
        listener = Changed();
    }
    Notify(listener, -1);
    return 1;
}

void PortRows::OnTimer() {
    std::vector<int> advanced;
    std::shared_ptr<const Listener> listener;
    {
        std::lock_guard lock(mutex_);
        for (PortRow& row : rows_) {
            const std::string& status = row.cells[kColStatus];
            std::string& time = row.cells[kColTime];
            if (!(Contains(status, "Downloading") || Contains(status, "Erase")) || time.empty() ||
                Contains(time, "s")) {
                continue;
            }
            const int64_t next = int64_t{ParseIniInteger(time)} + 1;
            row.nElapsed = static_cast<int>(std::min<int64_t>(next, INT_MAX));
            time = std::to_string(row.nElapsed);
            advanced.push_back(row.nItem);
        }
        if (!advanced.empty()) {
            listener = Changed();
        }
    }
    for (int nItem : advanced) {
        Notify(listener, nItem);
    }
}

std::vector<PortRow> PortRows::Snapshot() const {
    std::lock_guard lock(mutex_);
    return rows_;
}

std::optional<PortRow> PortRows::RowOf(int nPort) const {
    std::lock_guard lock(mutex_);
    const auto it = portMap_.find(nPort);
    if (it == portMap_.end()) {
        return std::nullopt;
    }
    return rows_[static_cast<size_t>(it->second)];
}

std::optional<PortRow> PortRows::RowAt(int nItem) const {
    std::lock_guard lock(mutex_);
    if (nItem < 0 || nItem >= static_cast<int>(rows_.size())) {
        return std::nullopt;
    }
    return rows_[static_cast<size_t>(nItem)];
}

uint64_t PortRows::Version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

void PortRows::SetListener(std::function<void(int nItem)> listener) {
    auto shared = std::make_shared<const Listener>(std::move(listener));
    std::lock_guard lock(mutex_);
    listener_ = std::move(shared);
}

}  // namespace korvane
