// The port list as a Qt table model over the shared row rules (PortRows) and the shared
// refresh: session threads report to PortRows, a change only queues a refresh into the
// window thread, which reads a snapshot at most about 30 times a second and announces
// the cells that changed. So a session never waits for the window.
// Thread safety: the model lives on the window thread; only the listener that its
// RefreshRequests installs runs on other threads, and it only queues a call.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/port_rows.h"
#include "ui/list_refresh.h"

namespace korvane {

class PortListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role : int {
        BarVisibleRole = Qt::UserRole + 1,  // bool: the row's bar covers its Progress cell
        BarTotalRole,                       // uint: the bar's range 0 .. total
        BarDoneRole,                        // uint: the bar's position, not yet clamped
    };

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

private:
    void ScheduleRefresh();

    PortRows& rows_;
    std::vector<PortRow> shown_;
    std::unique_ptr<RefreshRequests> requests_;
    QTimer refreshTimer_;
    QElapsedTimer sinceRefresh_;
    uint64_t refreshCount_ = 0;
};

}  // namespace korvane
