#include "ui/list_refresh.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace korvane {

namespace {

// The first and last column that differ between two versions of a row, or {-1, -1}.
// While a transfer runs that is the Progress cell alone.
std::pair<int, int> ChangedColumns(const PortRow& a, const PortRow& b) {
    int first = -1;
    int last = -1;
    for (int column = 0; column < kColumnCount; ++column) {
        const size_t i = static_cast<size_t>(column);
        bool differs = a.cells[i] != b.cells[i];
        if (column == kColProgress) {
            differs = differs || a.barVisible != b.barVisible || a.barTotal != b.barTotal || a.barDone != b.barDone;
        }
        if (differs) {
            first = first < 0 ? column : first;
            last = column;
        }
    }
    return {first, last};
}

}  // namespace

int RefreshDelayMs(int64_t sinceLastMs) {
    if (sinceLastMs < 0 || sinceLastMs >= kRefreshIntervalMs) {
        return 0;
    }
    return static_cast<int>(kRefreshIntervalMs - sinceLastMs);
}

ListRefresh DiffRows(const std::vector<PortRow>& shown, const std::vector<PortRow>& next) {
    ListRefresh refresh;
    if (next.size() < shown.size()) {
        refresh.reset = true;
        return refresh;
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        // A row index that now holds another port (rows emptied and refilled between two
        // refreshes) is repainted whole.
        const auto [first, last] = shown[i].nPort == next[i].nPort ? ChangedColumns(shown[i], next[i])
                                                                    : std::pair<int, int>{0, kColumnCount - 1};
        if (first >= 0) {
            refresh.changed.push_back({static_cast<int>(i), first, last});
        }
    }
    refresh.added = shown.size();
    return refresh;
}

// Shared with the rows' listener, which may run on another thread while the requests go.
struct RefreshRequests::Shared {
    std::mutex mutex;  // guards post against the destructor
    Post post;         // empty once the requests are gone
    std::atomic<bool> pending{false};
};

RefreshRequests::RefreshRequests(PortRows& rows, Post post) : rows_(rows), shared_(std::make_shared<Shared>()) {
    shared_->post = std::move(post);
    std::shared_ptr<Shared> shared = shared_;
    rows_.SetListener([shared](int /*nItem*/) {
        if (shared->pending.exchange(true)) {
            return;  // a refresh is queued already and will read this change too
        }
        std::lock_guard lock(shared->mutex);
        if (shared->post && !shared->post()) {
            // Not queued: let the next change try again.
            shared->pending.store(false);
        }
    });
}

RefreshRequests::~RefreshRequests() {
    rows_.SetListener({});
    std::lock_guard lock(shared_->mutex);
    shared_->post = nullptr;
}

void RefreshRequests::Taken() {
    shared_->pending.store(false);
}

}  // namespace korvane
