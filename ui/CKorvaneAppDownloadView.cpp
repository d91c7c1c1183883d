#include "ui/CKorvaneAppDownloadView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTimerEvent>
#include <algorithm>
#include <utility>

#include "app/port_rows.h"
#include "ui/PortCellDelegate.h"
#include "ui/PortListModel.h"

namespace korvane {

namespace {
constexpr int kFixedWidths = 50 + 300 + 180 + 100 + 180;
const QColor kListBackground(200, 200, 200);
}  // namespace

CKorvaneAppDownloadView::CKorvaneAppDownloadView(PortRows& rows, QWidget* parent)
    : QTableView(parent),
      rows_(rows),
      model_(new PortListModel(rows, this)),
      delegate_(new PortCellDelegate(QApplication::palette().color(QPalette::Base),
                                     QApplication::palette().color(QPalette::Text), this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    SetUpOnce();
}

CKorvaneAppDownloadView::~CKorvaneAppDownloadView() {
    StopRunTimer();
}

std::array<int, 6> CKorvaneAppDownloadView::ColumnWidths(int screenWidth) {
    return {50, 300, 180, std::max(screenWidth - kFixedWidths, kMinProgressWidth), 100, 180};
}

void CKorvaneAppDownloadView::SetUpOnce() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(20);
    setFont(font);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, kListBackground);
    setPalette(colours);

    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(kRowHeight);

    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const auto widths = ColumnWidths(screen != nullptr ? screen->geometry().width() : 0);
    for (size_t i = 0; i < widths.size(); ++i) {
        setColumnWidth(static_cast<int>(i), widths[i]);
    }
}

void CKorvaneAppDownloadView::SetTickHandler(std::function<void()> onTick) {
    onTick_ = std::move(onTick);
}

void CKorvaneAppDownloadView::StartRunTimer() {
    if (runTimerId_ == 0) {
        runTimerId_ = startTimer(kTimerPeriodMs);
    }
}

void CKorvaneAppDownloadView::StopRunTimer() {
    if (runTimerId_ != 0) {
        killTimer(runTimerId_);
        runTimerId_ = 0;
    }
}

void CKorvaneAppDownloadView::timerEvent(QTimerEvent* event) {
    if (runTimerId_ != 0 && event->timerId() == runTimerId_) {
        if (onTick_) {
            onTick_();
        } else {
            rows_.OnTimer();
        }
        return;
    }
    QTableView::timerEvent(event);
}

}  // namespace korvane
