#include "ui/qt/CKorvaneAppDownloadView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTimerEvent>
#include <utility>

#include "app/port_rows.h"
#include "ui/list_look.h"
#include "ui/qt/PortCellDelegate.h"
#include "ui/qt/PortListModel.h"

namespace korvane {

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

void CKorvaneAppDownloadView::SetUpOnce() {
    QFont font(QString::fromLatin1(kListFontFace));
    font.setPixelSize(kListFontHeight);
    setFont(font);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(kListBackground.r, kListBackground.g, kListBackground.b));
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
    verticalHeader()->setDefaultSectionSize(kListRowHeight);

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
