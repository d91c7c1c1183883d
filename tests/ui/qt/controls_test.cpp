// The owner-drawn controls: the progress bar's painting, the text panel and the toolbar.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QPainter>
#include <QToolButton>

#include "ui/qt/CCoolToolBar.h"
#include "ui/qt/CProgressCtrlST.h"
#include "ui/qt/CXStatic.h"

namespace korvane {
namespace {

const QColor kTeal(0, 128, 128);

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
