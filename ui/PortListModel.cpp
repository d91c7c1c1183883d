#include "ui/PortListModel.h"

#include <QMetaObject>
#include <array>
#include <atomic>
#include <mutex>
#include <utility>

namespace korvane {

namespace {

constexpr std::array<const char*, kColumnCount> kHeaders{"Port", "Step", "Status", "Progress", "Time(s)",
                                                         "BindingPort"};
const QColor kPassed(0, 202, 0);
const QColor kFailed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// The first and last column that differ between two versions of a row, or {-1, -1}.
// Only those cells are repainted: while a transfer runs that is the Progress cell alone.
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

// Shared with the rows' listener, which may outlive the model on another thread.
struct PortListModel::Bridge {
    std::mutex mutex;
    PortListModel* model = nullptr;  // none once the model is gone
    std::atomic<bool> pending{false};
};

PortListModel::PortListModel(PortRows& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows), bridge_(std::make_shared<Bridge>()) {
    bridge_->model = this;
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &PortListModel::Refresh);
    sinceRefresh_.start();
    std::shared_ptr<Bridge> bridge = bridge_;
    rows_.SetListener([bridge](int /*nItem*/) {
        if (bridge->pending.exchange(true)) {
            return;  // a refresh is queued already and will read this change too
        }
        std::lock_guard<std::mutex> lock(bridge->mutex);
        if (bridge->model != nullptr) {
            QMetaObject::invokeMethod(bridge->model, &PortListModel::ScheduleRefresh, Qt::QueuedConnection);
        }
    });
    Refresh();
}

PortListModel::~PortListModel() {
    rows_.SetListener({});
    std::lock_guard<std::mutex> lock(bridge_->mutex);
    bridge_->model = nullptr;
}

int PortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int PortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QColor PortListModel::CellColour(int column, const std::string& text) {
    switch (column) {
        case kColProgress:
            if (text.find("Passed") != std::string::npos) {
                return kPassed;
            }
            if (text.find("Failed:") != std::string::npos) {
                return kFailed;
            }
            return kBlue;
        case kColTime:
        case kColBindingPort: return kBlue;
        default: return {};
    }
}

QVariant PortListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    const PortRow& row = shown_[static_cast<size_t>(index.row())];
    const std::string& text = row.cells[static_cast<size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(text);
        case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        case Qt::ForegroundRole: {
            const QColor colour = CellColour(index.column(), text);
            return colour.isValid() ? QVariant(colour) : QVariant();
        }
        case BarVisibleRole: return index.column() == kColProgress && row.barVisible;
        case BarTotalRole: return row.barTotal;
        case BarDoneRole: return row.barDone;
        default: return {};
    }
}

QVariant PortListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kHeaders[static_cast<size_t>(section)]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return {};
}

void PortListModel::ScheduleRefresh() {
    if (refreshTimer_.isActive()) {
        return;
    }
    const qint64 waited = sinceRefresh_.elapsed();
    refreshTimer_.start(waited >= kRefreshIntervalMs ? 0 : static_cast<int>(kRefreshIntervalMs - waited));
}

void PortListModel::Refresh() {
    // Cleared before reading, so a change made during the read queues another refresh.
    bridge_->pending.store(false);
    refreshTimer_.stop();
    sinceRefresh_.restart();
    ++refreshCount_;
    std::vector<PortRow> rows = rows_.Snapshot();
    if (rows.size() < shown_.size()) {
        beginResetModel();
        shown_ = std::move(rows);
        endResetModel();
        return;
    }
    const size_t kept = shown_.size();
    for (size_t i = 0; i < kept; ++i) {
        const auto [first, last] = shown_[i].nPort == rows[i].nPort ? ChangedColumns(shown_[i], rows[i])
                                                                     : std::pair<int, int>{0, kColumnCount - 1};
        if (first >= 0) {
            shown_[i] = rows[i];
            const int row = static_cast<int>(i);
            emit dataChanged(index(row, first), index(row, last));
        }
    }
    if (rows.size() > kept) {
        beginInsertRows(QModelIndex(), static_cast<int>(kept), static_cast<int>(rows.size()) - 1);
        shown_.insert(shown_.end(), rows.begin() + static_cast<std::ptrdiff_t>(kept), rows.end());
        endInsertRows();
    }
}

}  // namespace korvane
