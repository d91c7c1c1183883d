#include "ui/qt/CXStatic.h"

#include <QPainter>

namespace korvane {

namespace {
constexpr int kTextHeight = 20;
constexpr int kTextIndent = 20;
}  // namespace

CXStatic::CXStatic(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CXStatic::SetText(const QString& text) {
    if (text != m_strText) {
        m_strText = text;
        update();
    }
}

QRect CXStatic::TextRect(const QRect& client) {
    return client.adjusted(kTextIndent, (client.height() - kTextHeight) / 2, 0, 0);
}

void CXStatic::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), m_crBack);
    if (m_strText.isEmpty()) {
        return;
    }
    // The parent's font (the toolbar's, or the application's when it has none of its
    // own), made bold and 20 pixels high.
    QFont font = parentWidget() != nullptr ? parentWidget()->font() : QWidget::font();
    font.setWeight(QFont::Bold);
    font.setPixelSize(kTextHeight);
    painter.setFont(font);
    painter.setPen(m_crText);
    // Lines break only where the text has a line break; the first starts at the top.
    painter.drawText(TextRect(rect()), Qt::AlignLeft | Qt::AlignTop, m_strText);
}

}  // namespace korvane
