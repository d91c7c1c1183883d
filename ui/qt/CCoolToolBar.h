// The main frame's toolbar: Settings, Start and Stop with 48 x 48 pictures in three
// states (normal, disabled, hot; black is transparent), a flat background in the panel
// colour, and a text panel in a wide slot after the buttons.
// Thread safety: a widget of the window thread.
#pragma once

#include <QIcon>
#include <QToolBar>
#include <array>

#include "ui/qt/CXStatic.h"
#include "ui/toolbar_rules.h"

class QAction;

namespace korvane {

class CCoolToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit CCoolToolBar(QWidget* parent = nullptr);

    // Adds the three command buttons, a separator and the panel slot of panelWidth.
    void CreateButtons(int panelWidth);
    // Gives the buttons the pictures of the three strips; 1, or 0 (buttons keep their
    // current pictures) when a strip is missing or too small.
    int LoadImageLists();

    QAction* Command(int nCommand) const;
    CXStatic& Panel() { return m_wndPanel; }

    // Picture index within each strip: Settings 0, Start 1, Stop 2.
    static QIcon IconFromStrips(const QImage& normal, const QImage& disabled, const QImage& hot, int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<QAction*, 3> m_commands{};
    CXStatic m_wndPanel;
};

}  // namespace korvane
