// The port list's refresh: session threads change the rows at any rate, the window reads
// a snapshot of them at most about 30 times a second and repaints only the cells that
// changed. RefreshRequests turns the rows' change notices into at most one queued
// refresh at a time; DiffRows says what a snapshot changes against the rows shown.
// Thread safety: DiffRows and RefreshDelayMs are pure. A RefreshRequests is made,
// Taken and destroyed on the window thread; its listener, installed in the rows, runs on
// any thread and only sets a flag and calls the post function given.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/port_rows.h"

namespace korvane {

// Shortest time between two refreshes.
inline constexpr int kRefreshIntervalMs = 33;

// How long to wait before the next refresh when the last one ran `sinceLastMs` ago.
int RefreshDelayMs(int64_t sinceLastMs);

// The changed cells of one row kept from the rows shown: columns first .. last.
struct ChangedCells {
    int row = 0;
    int firstColumn = 0;
    int lastColumn = 0;
    friend bool operator==(const ChangedCells&, const ChangedCells&) = default;
};

struct ListRefresh {
    // Rows went away (only Stop removes rows, all at once): show the snapshot afresh.
    bool reset = false;
    // Kept rows whose cells changed, in row order; the Progress cell counts as changed
    // when its bar was shown, hidden or moved.
    std::vector<ChangedCells> changed;
    // Rows from `added` to the end of the snapshot are new.
    size_t added = 0;
};

// What must be repainted to go from `shown` to `next`.
ListRefresh DiffRows(const std::vector<PortRow>& shown, const std::vector<PortRow>& next);

class RefreshRequests {
public:
    // Queues a call into the window thread that ends in a refresh; false when it could
    // not be queued.
    using Post = std::function<bool()>;

    // Listens to `rows` until destroyed; every change not yet covered by a queued refresh
    // calls `post` once.
    RefreshRequests(PortRows& rows, Post post);
    ~RefreshRequests();
    RefreshRequests(const RefreshRequests&) = delete;
    RefreshRequests& operator=(const RefreshRequests&) = delete;

    // Called as a refresh begins, before it reads the rows: a change made from now on
    // queues another refresh.
    void Taken();

private:
    struct Shared;
    PortRows& rows_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace korvane
