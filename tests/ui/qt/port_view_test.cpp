// The port list: columns, row height, cell colours, the progress bar over the Progress
// cell, selection that changes nothing, the run timer and the coalesced refresh.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>
#include <thread>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "ui/qt/CKorvaneAppDownloadView.h"
#include "ui/qt/PortListModel.h"
#include "ui/list_look.h"

namespace korvane {
namespace {

const QColor kPassed(0, 202, 0);
const QColor kFailed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kTeal(0, 128, 128);

// How many pixels of exactly this colour lie in the rectangle.
int CountColour(const QImage& image, const QRect& rect, const QColor& colour) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
        }
    }
    return count;
}

class PortViewTest : public ::testing::Test {
protected:
    PortViewTest() : rows(app), view(rows) {
        view.resize(1400, 400);
    }

    // Port 3 passed, port 5 failed, port 7 half-way through the main image.
    void ThreeRows() {
        for (int port : {3, 5, 7}) {
            rows.AddRow(port);
            rows.SetStep(port, kStepConnecting, 0, 0);
        }
        rows.SetResult(3, 1, nullptr, "");
        rows.SetResult(5, 0, nullptr, "Open uart failed");
        rows.SetStep(7, kStepMainApp, 1, 1000);
        rows.SetProgress(7, 500);
        view.Model().Refresh();
    }

    QRect Cell(int row, int column) { return view.visualRect(view.model()->index(row, column)); }
    QImage Picture() { return view.viewport()->grab().toImage(); }

    CKorvaneAppDownloadApp app;
    PortRows rows;
    CKorvaneAppDownloadView view;
};

TEST_F(PortViewTest, SetUpColumnsRowsAndFont) {
    const char* headers[] = {"Port", "Step", "Status", "Progress", "Time(s)", "BindingPort"};
    ASSERT_EQ(view.model()->columnCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(view.model()->headerData(i, Qt::Horizontal).toString(), headers[i]);
        EXPECT_EQ(view.horizontalHeader()->sectionSize(i),
                  ColumnWidths(view.screen()->geometry().width())[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(view.font().family(), "Arial");
    EXPECT_EQ(view.font().pixelSize(), 20);
    EXPECT_TRUE(view.showGrid());
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);

    ThreeRows();
    ASSERT_EQ(view.model()->rowCount(), 3);
    EXPECT_EQ(view.rowViewportPosition(1) - view.rowViewportPosition(0), 60);
    EXPECT_EQ(view.rowHeight(2), 60);
    // Below the rows the list is grey.
    const QImage image = Picture();
    EXPECT_EQ(QColor(image.pixel(100, view.rowViewportPosition(2) + 70)), QColor(200, 200, 200));
}

TEST_F(PortViewTest, CellsArePaintedInTheirColours) {
    ThreeRows();
    const QImage image = Picture();
    const QColor white = QApplication::palette().color(QPalette::Base);

    const QRect passed = Cell(0, kColProgress);
    EXPECT_GT(CountColour(image, passed, kPassed), 10);
    EXPECT_EQ(CountColour(image, passed, kFailed), 0);
    EXPECT_EQ(QColor(image.pixel(passed.left() + 2, passed.top() + 2)), white);

    const QRect failed = Cell(1, kColProgress);
    EXPECT_GT(CountColour(image, failed, kFailed), 10);
    EXPECT_EQ(CountColour(image, failed, kPassed), 0);

    for (int row = 0; row < 2; ++row) {
        EXPECT_GT(CountColour(image, Cell(row, kColTime), kBlue), 5) << row;
        EXPECT_GT(CountColour(image, Cell(row, kColBindingPort), kBlue), 5) << row;
        // Port, Step and Status are in the window-text colour.
        EXPECT_EQ(CountColour(image, Cell(row, kColStatus), kBlue), 0) << row;
        EXPECT_GT(CountColour(image, Cell(row, kColStatus), QApplication::palette().color(QPalette::Text)), 5);
    }
}

TEST_F(PortViewTest, BarCoversItsShareOfTheProgressCell) {
    ThreeRows();
    const QImage image = Picture();
    const QRect cell = Cell(2, kColProgress);
    const int filled = static_cast<int>(static_cast<float>(cell.width() / 100.0 * 50));
    const int y = cell.center().y();
    EXPECT_EQ(QColor(image.pixel(cell.left(), y)), kTeal);
    EXPECT_EQ(QColor(image.pixel(cell.left() + filled - 1, y)), kTeal);
    EXPECT_EQ(QColor(image.pixel(cell.left() + filled, y)), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(CountColour(image, QRect(cell.left(), cell.top(), filled, cell.height()), kTeal), filled * cell.height());
    // The text under the bar does not show through the filled part.
    EXPECT_EQ(CountColour(image, Cell(2, kColProgress), kBlue), 0);

    // A finished row hides its bar.
    rows.SetResult(7, 1, nullptr, "");
    view.Model().Refresh();
    EXPECT_EQ(CountColour(Picture(), cell, kTeal), 0);
}

TEST_F(PortViewTest, SelectedRowsLookLikeAnyOther) {
    ThreeRows();
    const QRect rowRect(0, view.rowViewportPosition(0), view.viewport()->width(), 60);
    const QImage before = Picture().copy(rowRect);
    view.setFocus();
    view.selectRow(0);
    view.setCurrentIndex(view.model()->index(0, 2));
    ASSERT_TRUE(view.selectionModel()->isRowSelected(0, QModelIndex()));
    EXPECT_EQ(Picture().copy(rowRect), before);
}

TEST_F(PortViewTest, OnlyTheRunTimerAdvancesTime) {
    int ticks = 0;
    view.SetTickHandler([&] { ++ticks; });
    EXPECT_FALSE(view.RunTimerActive());
    view.StartRunTimer();
    ASSERT_TRUE(view.RunTimerActive());
    QTimerEvent other(view.RunTimerId() + 1000);
    QCoreApplication::sendEvent(&view, &other);
    EXPECT_EQ(ticks, 0);
    QTimerEvent own(view.RunTimerId());
    QCoreApplication::sendEvent(&view, &own);
    EXPECT_EQ(ticks, 1);
    view.StopRunTimer();
    EXPECT_FALSE(view.RunTimerActive());
}

TEST_F(PortViewTest, WithoutHandlerTheTickCountsTheRowsTime) {
    rows.AddRow(2);
    rows.SetStep(2, kStepConnecting, 0, 0);
    rows.SetStep(2, kStepErase, 1, 100);
    view.StartRunTimer();
    QTimerEvent own(view.RunTimerId());
    QCoreApplication::sendEvent(&view, &own);
    view.Model().Refresh();
    EXPECT_EQ(view.model()->index(0, kColTime).data().toString(), "1");
}

TEST_F(PortViewTest, ReportsFromAnotherThreadAreCoalesced) {
    rows.AddRow(9);
    rows.SetStep(9, kStepMainApp, 1, 100000);
    view.Model().Refresh();
    const uint64_t before = view.Model().RefreshCount();
    std::thread session([&] {
        for (uint32_t done = 1; done <= 20000; ++done) {
            rows.SetProgress(9, done);
        }
    });
    session.join();
    const QModelIndex progress = view.model()->index(0, kColProgress);
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress.data(PortListModel::BarDoneRole).toUInt() == 20000; }, 2000));
    // Twenty thousand reports, a handful of refreshes.
    EXPECT_LE(view.Model().RefreshCount() - before, 3u);
}

TEST_F(PortViewTest, ProgressRepaintsOnlyTheProgressCell) {
    ThreeRows();
    QSignalSpy changed(&view.Model(), &QAbstractItemModel::dataChanged);
    rows.SetProgress(7, 750);
    view.Model().Refresh();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), view.model()->index(2, kColProgress));
    EXPECT_EQ(changed[0][1].toModelIndex(), view.model()->index(2, kColProgress));

    changed.clear();
    rows.SetStepText(7, "Sending image");
    rows.SetResult(7, 1, nullptr, "");
    view.Model().Refresh();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().column(), kColStep);
    EXPECT_EQ(changed[0][1].toModelIndex().column(), kColTime);

    changed.clear();
    view.Model().Refresh();
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(PortViewTest, RemoveAllEmptiesTheList) {
    ThreeRows();
    rows.RemoveAll();
    rows.AddRow(11);
    view.Model().Refresh();
    ASSERT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(view.model()->index(0, kColPort).data().toString(), "11");
}

}  // namespace
}  // namespace korvane
