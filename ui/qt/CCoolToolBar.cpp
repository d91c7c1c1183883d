#include "ui/qt/CCoolToolBar.h"

#include <QAction>
#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace korvane {

namespace {

constexpr int kImageSize = kToolbarImageSize;

QColor ToQColor(Rgb colour) {
    return {colour.r, colour.g, colour.b};
}

// One 48 x 48 picture of a strip with its black pixels made transparent.
QPixmap PictureAt(const QImage& strip, int index) {
    QPixmap picture = QPixmap::fromImage(strip.copy(index * kImageSize, 0, kImageSize, kImageSize));
    picture.setMask(picture.createMaskFromColor(ToQColor(kToolbarMask), Qt::MaskInColor));
    return picture;
}

bool UsableStrip(const QImage& strip) {
    return strip.width() >= kImageSize * kToolbarStripImages && strip.height() >= kImageSize;
}

}  // namespace

CCoolToolBar::CCoolToolBar(QWidget* parent) : QToolBar(parent), m_wndPanel(this) {
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(kImageSize, kImageSize));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_wndPanel.hide();
}

void CCoolToolBar::CreateButtons(int panelWidth) {
    for (size_t i = 0; i < kToolbarButtons.size(); ++i) {
        QAction* action = addAction(QString::fromUtf8(kToolbarButtons[i].caption));
        action->setObjectName(QString::number(kToolbarButtons[i].command));
        action->setToolTip(QString::fromUtf8(kToolbarButtons[i].caption));
        m_commands[i] = action;
    }
    addSeparator();
    // The panel fills the wide slot, kPanelInset short of it at top and bottom.
    m_wndPanel.setObjectName(QString::number(kCmdPanel));
    m_wndPanel.setFixedWidth(panelWidth);
    m_wndPanel.setFixedHeight(kImageSize + 6 - 2 * kPanelInset);
    m_wndPanel.SetText(QString());
    addWidget(&m_wndPanel)->setVisible(true);
}

QIcon CCoolToolBar::IconFromStrips(const QImage& normal, const QImage& disabled, const QImage& hot, int index) {
    QIcon icon;
    icon.addPixmap(PictureAt(normal, index), QIcon::Normal);
    icon.addPixmap(PictureAt(disabled, index), QIcon::Disabled);
    icon.addPixmap(PictureAt(hot, index), QIcon::Active);
    return icon;
}

int CCoolToolBar::LoadImageLists() {
    const QImage normal(QStringLiteral(":/res/toolbar_normal.bmp"));
    const QImage disabled(QStringLiteral(":/res/toolbar_disabled.bmp"));
    const QImage hot(QStringLiteral(":/res/toolbar_hot.bmp"));
    if (!UsableStrip(normal) || !UsableStrip(disabled) || !UsableStrip(hot)) {
        return 0;
    }
    for (size_t i = 0; i < m_commands.size(); ++i) {
        if (m_commands[i] != nullptr) {
            m_commands[i]->setIcon(IconFromStrips(normal, disabled, hot, kToolbarButtons[i].image));
        }
    }
    return 1;
}

QAction* CCoolToolBar::Command(int nCommand) const {
    const ToolbarButton* button = FindToolbarButton(nCommand);
    return button != nullptr ? m_commands[static_cast<size_t>(button - kToolbarButtons.data())] : nullptr;
}

void CCoolToolBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect().adjusted(-2, 0, 0, 2), ToQColor(kToolbarBackground));
}

}  // namespace korvane
