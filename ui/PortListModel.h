// The port list as a Qt table model over the shared row rules (PortRows). Session
// threads report to PortRows; the model hears of changes through the rows' listener,
// which only queues a refresh into the window thread, and reads a snapshot there at most
// about 30 times a second. So a session never waits for the window.
// Thread safety: the model lives on the window thread; only the listener it installs
// runs on other threads, and it touches nothing but an atomic flag and a queued call.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/port_rows.h"

namespace korvane {

class PortListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role : int {
        BarVisibleRole = Qt::UserRole + 1,  // bool: the row's bar covers its Progress cell
        BarTotalRole,                       // uint: the bar's range 0 .. total
        BarDoneRole,                        // uint: the bar's position, not yet clamped
    };

    // Shortest time between two refreshes.
    static constexpr int kRefreshIntervalMs = 33;

    explicit PortListModel(PortRows& rows, QObject* parent = nullptr);
    ~PortListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Reads the rows now and announces what changed; what the refresh timer runs.
    void Refresh();
    // How many refreshes ran; for the benchmark's and the tests' bookkeeping.
    uint64_t RefreshCount() const { return refreshCount_; }

    // Text colour of a cell, or an invalid colour for the window-text colour.
    static QColor CellColour(int column, const std::string& text);

private:
    struct Bridge;
    void ScheduleRefresh();

    PortRows& rows_;
    std::vector<PortRow> shown_;
    std::shared_ptr<Bridge> bridge_;
    QTimer refreshTimer_;
    QElapsedTimer sinceRefresh_;
    uint64_t refreshCount_ = 0;
};

}  // namespace korvane
