#include "ui/qt/CProgressCtrlST.h"

#include <QPainter>

namespace korvane {

namespace {
const QColor kPatternColour(0, 128, 128);
}  // namespace

void PaintProgressBar(QPainter& painter, const QRect& client, const BarRange& bar, const QPixmap& pattern,
                      const BarLook& look) {
    QRect area = client;
    if (look.border) {
        painter.setPen(QColor(0, 0, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    if (area.isEmpty()) {
        return;
    }
    painter.fillRect(area, look.background);

    const BarRect whole{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
    const BarRect filled = FilledRect(whole, BarPercent(bar), look.vertical);
    const QRect target(filled.left, filled.top, filled.right - filled.left, filled.bottom - filled.top);
    if (target.width() <= 0 || target.height() <= 0) {
        return;
    }
    if (pattern.isNull()) {
        painter.fillRect(target, kPatternColour);
        return;
    }
    // Tiles start at the bar's own origin, as a pattern copied whole from its corner.
    painter.drawTiledPixmap(target, pattern, QPoint(target.left() - area.left(), target.top() - area.top()));
}

QPixmap ProgressPattern() {
    return QPixmap(QStringLiteral(":/res/pattern_319.bmp"));
}

CProgressCtrlST::CProgressCtrlST(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int CProgressCtrlST::SetPattern(const QPixmap* pattern, bool bRepaint) {
    m_hPattern = QPixmap();
    m_nPatternWidth = 0;
    m_nPatternHeight = 0;
    if (pattern != nullptr) {
        if (pattern->isNull()) {
            return 1;
        }
        m_hPattern = *pattern;
        m_nPatternWidth = pattern->width();
        m_nPatternHeight = pattern->height();
    }
    if (bRepaint) {
        update();
    }
    return 0;
}

void CProgressCtrlST::SetBarRange(uint32_t nUpper) {
    korvane::SetBarRange(m_range, nUpper);
}

void CProgressCtrlST::SetBarPos(uint32_t nPos) {
    korvane::SetBarPos(m_range, nPos);
}

void CProgressCtrlST::SetVertical(bool vertical) {
    m_vertical = vertical;
}

void CProgressCtrlST::SetBorder(bool border) {
    m_border = border;
}

void CProgressCtrlST::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintProgressBar(painter, rect(), m_range, m_hPattern, BarLook{m_vertical, m_border, palette().color(QPalette::Window)});
}

}  // namespace korvane
