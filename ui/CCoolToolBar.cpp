#include "ui/CCoolToolBar.h"

#include <QAction>
#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace korvane {

namespace {

constexpr int kImageSize = 48;
constexpr int kStripImages = 6;
const QColor kBackground(236, 233, 216);

struct CommandText {
    int number;
    const char* text;
};
// Captions of the commands, used for their tooltips too.
constexpr std::array<CommandText, 3> kCommands{{{kCmdSettings, "设置"}, {kCmdStart, "开始"}, {kCmdStop, "停止"}}};

// One 48 x 48 picture of a strip with its black pixels made transparent.
QPixmap PictureAt(const QImage& strip, int index) {
    QPixmap picture = QPixmap::fromImage(strip.copy(index * kImageSize, 0, kImageSize, kImageSize));
    picture.setMask(picture.createMaskFromColor(QColor(0, 0, 0), Qt::MaskInColor));
    return picture;
}

bool UsableStrip(const QImage& strip) {
    return strip.width() >= kImageSize * kStripImages && strip.height() >= kImageSize;
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
    for (size_t i = 0; i < kCommands.size(); ++i) {
        QAction* action = addAction(QString::fromUtf8(kCommands[i].text));
        action->setObjectName(QString::number(kCommands[i].number));
        action->setToolTip(QString::fromUtf8(kCommands[i].text));
        m_commands[i] = action;
    }
    addSeparator();
    // The panel fills the wide slot, two pixels short of it at top and bottom.
    m_wndPanel.setObjectName(QString::number(kCmdPanel));
    m_wndPanel.setFixedWidth(panelWidth);
    m_wndPanel.setFixedHeight(kImageSize + 6 - 4);
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
            m_commands[i]->setIcon(IconFromStrips(normal, disabled, hot, static_cast<int>(i)));
        }
    }
    return 1;
}

QAction* CCoolToolBar::Command(int nCommand) const {
    for (size_t i = 0; i < kCommands.size(); ++i) {
        if (kCommands[i].number == nCommand) {
            return m_commands[i];
        }
    }
    return nullptr;
}

void CCoolToolBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect().adjusted(-2, 0, 0, 2), kBackground);
}

}  // namespace korvane
