#include "ui/qt/PortListModel.h"

#include <QColor>
#include <QMetaObject>
#include <utility>

#include "ui/list_look.h"

namespace korvane {

PortListModel::PortListModel(PortRows& rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows) {
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &PortListModel::Refresh);
    sinceRefresh_.start();
    // The requests go before the model does, and never post once they are gone.
    requests_ = std::make_unique<RefreshRequests>(rows_, [this] {
        return QMetaObject::invokeMethod(this, &PortListModel::ScheduleRefresh, Qt::QueuedConnection);
    });
    Refresh();
}

PortListModel::~PortListModel() = default;

int PortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int PortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
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
            const std::optional<Rgb> colour = CellTextColour(index.column(), text);
            return colour ? QVariant(QColor(colour->r, colour->g, colour->b)) : QVariant();
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
        const std::string_view header = ColumnHeader(section);
        return QString::fromLatin1(header.data(), static_cast<qsizetype>(header.size()));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return {};
}

void PortListModel::ScheduleRefresh() {
    if (!refreshTimer_.isActive()) {
        refreshTimer_.start(RefreshDelayMs(sinceRefresh_.elapsed()));
    }
}

void PortListModel::Refresh() {
    // Taken before reading, so a change made during the read queues another refresh.
    requests_->Taken();
    refreshTimer_.stop();
    sinceRefresh_.restart();
    ++refreshCount_;
    std::vector<PortRow> rows = rows_.Snapshot();
    const ListRefresh refresh = DiffRows(shown_, rows);
    if (refresh.reset) {
        beginResetModel();
        shown_ = std::move(rows);
        endResetModel();
        return;
    }
    for (const ChangedCells& cells : refresh.changed) {
        shown_[static_cast<size_t>(cells.row)] = rows[static_cast<size_t>(cells.row)];
        emit dataChanged(index(cells.row, cells.firstColumn), index(cells.row, cells.lastColumn));
    }
    if (rows.size() > refresh.added) {
        beginInsertRows(QModelIndex(), static_cast<int>(refresh.added), static_cast<int>(rows.size()) - 1);
        shown_.insert(shown_.end(), rows.begin() + static_cast<std::ptrdiff_t>(refresh.added), rows.end());
        endInsertRows();
    }
}

}  // namespace korvane
