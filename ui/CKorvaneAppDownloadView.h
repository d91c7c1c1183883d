// The main window's port list: one 60-pixel row per port seen during the run, six
// centred columns whose widths add up to the primary screen's width, grid lines, whole
// rows selected, grey where there are no rows. It also owns the run's one-second timer,
// whose ticks advance the time count of the rows.
// Thread safety: window thread only; sessions report through PortRows.
#pragma once

#include <QTableView>
#include <array>
#include <functional>

namespace korvane {

class PortRows;
class PortListModel;
class PortCellDelegate;

class CKorvaneAppDownloadView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 60;
    static constexpr int kTimerPeriodMs = 1000;
    // The Progress column never gets narrower than this, even on a narrow screen.
    static constexpr int kMinProgressWidth = 100;

    explicit CKorvaneAppDownloadView(PortRows& rows, QWidget* parent = nullptr);
    ~CKorvaneAppDownloadView() override;

    // Widths of the six columns for a screen of the given width.
    static std::array<int, 6> ColumnWidths(int screenWidth);

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
