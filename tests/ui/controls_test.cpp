// The owner-drawn controls: the progress bar's arithmetic and painting, the text panel
// and the toolbar.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QPainter>
#include <QToolButton>

#include "ui/CCoolToolBar.h"
#include "ui/CProgressCtrlST.h"
#include "ui/CXStatic.h"
#include "ui/bar_math.h"

namespace korvane {
namespace {

const QColor kTeal(0, 128, 128);

struct BarCase {
    const char* name;
    uint32_t upper;
    uint32_t position;
    int expectHigh;
    unsigned expectScale;
    int expectSpan;
    int expectPosition;
    int expectPercent;
};

TEST(BarMath, RangePositionAndPercent) {
    const BarCase cases[] = {
        {"empty range", 0, 0, 0, 1, 1, 0, 0},
        {"empty range, any position", 0, 500, 0, 1, 1, 0, 0},
        {"above 2^31-1 is scaled by 16", 4000000000u, 2000000000u, 250000000, 16, 250000000, 125000000, 50},
        {"largest plain range", 0x7FFFFFFFu, 0x7FFFFFFFu, 0x7FFFFFFF, 1, 0x7FFFFFFF, 0x7FFFFFFF, 100},
        {"just above plain", 0x80000000u, 0x80000000u, 0x08000000, 16, 0x08000000, 0x08000000, 100},
        {"clamped to the upper end", 100, 150, 100, 1, 100, 100, 100},
        {"position above 2^31 on a plain range is full, not empty", 100, 3000000000u, 100, 1, 100, 100, 100},
        {"a third truncates", 3, 1, 3, 1, 3, 1, 33},
        {"bytes of a transfer", 65536, 32768, 65536, 1, 65536, 32768, 50},
    };
    for (const BarCase& c : cases) {
        SCOPED_TRACE(c.name);
        BarRange bar;
        SetBarRange(bar, c.upper);
        SetBarPos(bar, c.position);
        EXPECT_EQ(bar.nRangeLow, 0);
        EXPECT_EQ(bar.nRangeHigh, c.expectHigh);
        EXPECT_EQ(bar.nScale, c.expectScale);
        EXPECT_EQ(bar.nSpan, c.expectSpan);
        EXPECT_EQ(bar.nPosition, c.expectPosition);
        EXPECT_EQ(BarPercent(bar), c.expectPercent);
    }
}

TEST(BarMath, FilledRectangle) {
    struct RectCase {
        const char* name;
        BarRect client;
        int percent;
        bool vertical;
        BarRect expect;
    };
    const RectCase cases[] = {
        {"33 % of 400 pixels", {0, 0, 400, 60}, 33, false, {0, 0, 132, 60}},
        {"offset cell", {10, 5, 410, 65}, 33, false, {10, 5, 142, 65}},
        {"empty", {0, 0, 400, 60}, 0, false, {0, 0, 0, 60}},
        {"full", {0, 0, 400, 60}, 100, false, {0, 0, 400, 60}},
        {"past the edge stops one short", {0, 0, 400, 60}, 101, false, {0, 0, 399, 60}},
        {"width truncated", {0, 0, 333, 60}, 50, false, {0, 0, 166, 60}},
        {"vertical fills from the bottom", {0, 0, 20, 200}, 25, true, {0, 150, 20, 200}},
        {"vertical past the top stops one short", {0, 0, 20, 200}, 101, true, {0, 1, 20, 200}},
    };
    for (const RectCase& c : cases) {
        SCOPED_TRACE(c.name);
        const BarRect r = FilledRect(c.client, c.percent, c.vertical);
        EXPECT_EQ(r.left, c.expect.left);
        EXPECT_EQ(r.top, c.expect.top);
        EXPECT_EQ(r.right, c.expect.right);
        EXPECT_EQ(r.bottom, c.expect.bottom);
    }
}

// The columns of row y whose colour is teal.
int TealRun(const QImage& image, int y) {
    int x = 0;
    while (x < image.width() && QColor(image.pixel(x, y)) == kTeal) {
        ++x;
    }
    return x;
}

TEST(ProgressCtrl, PaintsTheFilledShareWithThePattern) {
    CProgressCtrlST bar;
    bar.resize(400, 60);
    const QPixmap pattern = ProgressPattern();
    ASSERT_FALSE(pattern.isNull());
    ASSERT_EQ(bar.SetPattern(&pattern, false), 0);
    EXPECT_EQ(bar.PatternSize(), QSize(600, 80));
    bar.SetBarRange(100);
    bar.SetBarPos(33);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(TealRun(image, 0), 132);
    EXPECT_EQ(TealRun(image, 59), 132);
    EXPECT_NE(QColor(image.pixel(132, 30)), kTeal);
}

TEST(ProgressCtrl, BorderFramesInBlackAndShrinksTheBar) {
    CProgressCtrlST bar;
    bar.SetBorder(true);
    bar.resize(102, 20);
    bar.SetBarRange(100);
    bar.SetBarPos(50);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(0, 10)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(image.pixel(101, 10)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(image.pixel(50, 0)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(image.pixel(1, 10)), kTeal);
    EXPECT_EQ(QColor(image.pixel(50, 10)), kTeal);
    EXPECT_NE(QColor(image.pixel(51, 10)), kTeal);
}

TEST(ProgressCtrl, PatternWithoutSizeIsDropped) {
    CProgressCtrlST bar;
    const QPixmap pattern = ProgressPattern();
    ASSERT_EQ(bar.SetPattern(&pattern, false), 0);
    const QPixmap unreadable;
    EXPECT_EQ(bar.SetPattern(&unreadable, true), 1);
    EXPECT_EQ(bar.PatternSize(), QSize(0, 0));
    EXPECT_EQ(bar.SetPattern(nullptr, false), 0);
}

TEST(XStatic, TextSitsTwentyInAndCentredVertically) {
    EXPECT_EQ(CXStatic::TextRect(QRect(0, 0, 1200, 50)), QRect(20, 15, 1180, 35));
    EXPECT_EQ(CXStatic::TextRect(QRect(0, 0, 300, 21)), QRect(20, 0, 280, 21));
}

TEST(XStatic, EmptyTextPaintsOnlyTheBackground) {
    CXStatic panel;
    panel.resize(200, 44);
    const QImage empty = panel.grab().toImage();
    for (int y = 0; y < empty.height(); y += 7) {
        for (int x = 0; x < empty.width(); x += 13) {
            ASSERT_EQ(QColor(empty.pixel(x, y)), QColor(236, 233, 216)) << x << "," << y;
        }
    }
    panel.SetText(QStringLiteral("Ready"));
    const QImage written = panel.grab().toImage();
    EXPECT_NE(written, empty);
    // Nothing is drawn in the 20-pixel margin.
    for (int y = 0; y < written.height(); ++y) {
        ASSERT_EQ(QColor(written.pixel(10, y)), QColor(236, 233, 216));
    }
}

TEST(CoolToolBar, CommandsPicturesAndPanel) {
    CCoolToolBar bar;
    bar.CreateButtons(1200);
    ASSERT_EQ(bar.LoadImageLists(), 1);
    const struct {
        int number;
        const char* text;
        QPoint drawn;  // a point inside the picture's shape
    } commands[] = {{kCmdSettings, "设置", {24, 12}}, {kCmdStart, "开始", {20, 24}}, {kCmdStop, "停止", {24, 24}}};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.number);
        QAction* action = bar.Command(c.number);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(action->toolTip(), QString::fromUtf8(c.text));
        EXPECT_EQ(action->objectName(), QString::number(c.number));
        const QIcon icon = action->icon();
        const QImage normal = icon.pixmap(48, 48, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(48, 48, QIcon::Disabled).toImage();
        const QImage hot = icon.pixmap(48, 48, QIcon::Active).toImage();
        EXPECT_EQ(normal.size(), QSize(48, 48));
        EXPECT_NE(normal, disabled);
        EXPECT_NE(normal, hot);
        // The corner is black in the strip, so transparent; the middle is drawn.
        EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(normal.pixel(c.drawn)), 255);
    }
    EXPECT_EQ(bar.Command(kCmdPanel), nullptr);
    EXPECT_EQ(bar.Panel().objectName(), QStringLiteral("32774"));
    EXPECT_EQ(bar.Panel().width(), 1200);
    EXPECT_TRUE(bar.Panel().Text().isEmpty());
    EXPECT_EQ(bar.iconSize(), QSize(48, 48));
}

TEST(CoolToolBar, PaintsThePanelColourBehindTheButtons) {
    CCoolToolBar bar;
    bar.CreateButtons(200);
    bar.LoadImageLists();
    bar.resize(600, 60);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(image.width() - 2, 2)), QColor(236, 233, 216));
}

}  // namespace
}  // namespace korvane
