// The progress bar laid over a row's Progress cell while a transfer step runs: it paints
// its filled part by tiling a pattern bitmap. PaintProgressBar is shared with the port
// list's cell painter, so the widget and the list draw bars the same way.
// Thread safety: a widget of the window thread; nothing here is called from elsewhere.
#pragma once

#include <QPixmap>
#include <QWidget>

#include "ui/bar_math.h"

class QPainter;

namespace korvane {

struct BarLook {
    bool vertical = false;
    bool border = false;      // a 1-pixel black frame inside the client rectangle
    QColor background;        // the part beyond the filled share
};

// Paints a bar at bar's percentage into client. Without a pattern the filled part is
// the pattern's own colour, solid.
void PaintProgressBar(QPainter& painter, const QRect& client, const BarRange& bar, const QPixmap& pattern,
                      const BarLook& look);

// The teal pattern of the per-row bars, from the program's resources.
QPixmap ProgressPattern();

class CProgressCtrlST : public QWidget {
    Q_OBJECT
public:
    explicit CProgressCtrlST(QWidget* parent = nullptr);

    // Holds the pattern, or none for null. 0 on success; 1 (no pattern held) when the
    // bitmap given has no size, e.g. it could not be loaded.
    int SetPattern(const QPixmap* pattern, bool bRepaint);
    // The position is left as it is; callers set it afterwards.
    void SetBarRange(uint32_t nUpper);
    void SetBarPos(uint32_t nPos);
    void SetVertical(bool vertical);
    void SetBorder(bool border);

    const BarRange& Range() const { return m_range; }
    QSize PatternSize() const { return {m_nPatternWidth, m_nPatternHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BarRange m_range;
    QPixmap m_hPattern;
    int m_nPatternWidth = 0;
    int m_nPatternHeight = 0;
    bool m_vertical = false;
    bool m_border = false;
};

}  // namespace korvane
