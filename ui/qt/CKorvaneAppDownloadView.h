// The main window's port list in Qt: the shared list look (one 60-pixel row per port seen
// during the run, six centred columns sized from the primary screen's width, grey where
// there are no rows) with grid lines and whole rows selected. It also owns the run's one-second timer,
// whose ticks advance the time count of the rows.
// Thread safety: window thread only; sessions report through PortRows.
#pragma once

#include <QTableView>
#include <functional>

namespace korvane {

class PortRows;
class PortListModel;
class PortCellDelegate;

class CKorvaneAppDownloadView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kTimerPeriodMs = 1000;

    explicit CKorvaneAppDownloadView(PortRows& rows, QWidget* parent = nullptr);
    ~CKorvaneAppDownloadView() override;

    // What each tick of the run's timer does (run control's one-second tick); without
    // one, the rows' own time count.
    void SetTickHandler(std::function<void()> onTick);
    // The run's timer: armed by Start, killed by Stop.
    void StartRunTimer();
    void StopRunTimer();
    bool RunTimerActive() const { return runTimerId_ != 0; }
    int RunTimerId() const { return runTimerId_; }

    PortListModel& Model() { return *model_; }

protected:
    // Only the run timer's ticks advance the rows; every other timer goes to the base.
    void timerEvent(QTimerEvent* event) override;

private:
    void SetUpOnce();

    PortRows& rows_;
    std::function<void()> onTick_;
    PortListModel* model_;
    PortCellDelegate* delegate_;
    int runTimerId_ = 0;
};

}  // namespace korvane
