// The rows of the port list as plain data, shared by the window and the console: the
// row rules (step names, Progress texts, the time count, binding positions, results).
// Thread safety: every operation takes the rows' one lock; session threads call SetStep,
// SetStepText, SetProgress and SetResult for their own port at any time, the front end's
// thread does the rest. Listeners are called after the lock is released.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/port_view.h"

namespace korvane {

class CKorvaneAppDownloadApp;

enum PortColumn : int { kColPort = 0, kColStep, kColStatus, kColProgress, kColTime, kColBindingPort, kColumnCount };

// One row as the painter sees it (the row's _PORT_STATE_INFO_T and its cells).
struct PortRow {
    int nItem = 0;
    int nPort = 0;
    int nState = 0;
    int nElapsed = 0;
    int bSuccess = 1;
    std::array<std::string, kColumnCount> cells;
    bool barVisible = false;
    uint32_t barTotal = 0;  // range 0 .. barTotal
    uint32_t barDone = 0;   // position, not yet clamped
};

// Name of a step number (0 .. 10) as the Status cell shows it; empty for other numbers.
const char* StepName(int nStep);

class PortRows final : public IPortView {
public:
    // The binding table (bindingPorts, bindingCount) is read from `app` on every SetStep.
    explicit PortRows(const CKorvaneAppDownloadApp& app);

    int AddRow(int nPort) override;
    // A step number outside 0 .. 10 changes nothing and gives 0.
    int SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) override;
    int SetStepText(int nPort, const std::string& text) override;
    int SetProgress(int nPort, uint32_t nDone) override;
    int SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) override;
    int RemoveAll() override;

    // The one-second tick: advances the Time(s) cells of downloading or erasing rows.
    void OnTimer();

    // A copy of every row in row order, and a counter that grows with every change.
    std::vector<PortRow> Snapshot() const;
    // A copy of one row by its index, or of the port's row; nothing when there is none.
    std::optional<PortRow> RowAt(int nItem) const;
    std::optional<PortRow> RowOf(int nPort) const;
    uint64_t Version() const;
    // Called (outside the lock) with the row index after each change of a row, or -1 when
    // all rows went; may run on any thread.
    void SetListener(std::function<void(int nItem)> listener);

private:
    using Listener = std::function<void(int)>;

    PortRow* Find(int nPort);
    // Applies `change` (returning whether it changed anything) to the port's row under the
    // lock, then tells the listener; 0 when the port has no row.
    template <typename Change>
    int ChangeRow(int nPort, Change change);
    std::string BindingPosition(int nPort) const;
    // Counts a change under the lock and hands back the listener to call after it.
    std::shared_ptr<const Listener> Changed();
    static void Notify(const std::shared_ptr<const Listener>& listener, int nItem);

    const CKorvaneAppDownloadApp& app_;
    mutable std::mutex mutex_;  // guards the rows, the port map, the version and the listener
    std::vector<PortRow> rows_;
    std::unordered_map<int, int> portMap_;  // nPort -> nItem
    uint64_t version_ = 0;
    std::shared_ptr<const Listener> listener_;
};

}  // namespace korvane
