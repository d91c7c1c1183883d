// Paints every cell of the port list: the window colour behind one centred line of text
// in the cell's colour, and the row's progress bar over the Progress cell while it is
// shown. A selected or focused row looks like any other.
// Thread safety: window thread only.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace korvane {

class PortCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // cellBackground and textColour: the system's window and window-text colours.
    PortCellDelegate(const QColor& cellBackground, const QColor& textColour, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QColor cellBackground_;
    QColor textColour_;
    QPixmap pattern_;
};

}  // namespace korvane
