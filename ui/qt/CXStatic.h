// A text panel that paints its own background and its text in bold, 20 pixels high,
// on one line in the middle of its height. Sits in the toolbar's wide slot.
// Thread safety: a widget of the window thread.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "ui/toolbar_rules.h"

namespace korvane {

class CXStatic : public QWidget {
    Q_OBJECT
public:
    explicit CXStatic(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return m_strText; }

    // Where the text is drawn inside a panel of the given size: 20 pixels in from the
    // left, its top moved down so that a 20-pixel line sits in the middle.
    static QRect TextRect(const QRect& client);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_crText{0, 0, 0};
    QColor m_crBack{kToolbarBackground.r, kToolbarBackground.g, kToolbarBackground.b};
    QString m_strText;
};

}  // namespace korvane
