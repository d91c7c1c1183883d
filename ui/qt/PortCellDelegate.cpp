#include "ui/qt/PortCellDelegate.h"

#include <QPainter>

#include "ui/qt/CProgressCtrlST.h"
#include "ui/qt/PortListModel.h"
#include "ui/bar_math.h"

namespace korvane {

PortCellDelegate::PortCellDelegate(const QColor& cellBackground, const QColor& textColour, QObject* parent)
    : QStyledItemDelegate(parent),
      cellBackground_(cellBackground),
      textColour_(textColour),
      pattern_(ProgressPattern()) {}

void PortCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    painter->setBackgroundMode(Qt::OpaqueMode);
    painter->setBackground(cellBackground_);
    painter->fillRect(option.rect, cellBackground_);

    const QVariant colour = index.data(Qt::ForegroundRole);
    painter->setPen(colour.isValid() ? colour.value<QColor>() : textColour_);
    painter->setFont(option.font);
    painter->drawText(option.rect, Qt::AlignCenter | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());

    if (index.data(PortListModel::BarVisibleRole).toBool()) {
        BarRange bar;
        SetBarRange(bar, index.data(PortListModel::BarTotalRole).toUInt());
        SetBarPos(bar, index.data(PortListModel::BarDoneRole).toUInt());
        PaintProgressBar(*painter, option.rect, bar, pattern_, BarLook{false, false, cellBackground_});
    }
    painter->restore();
}

}  // namespace korvane
