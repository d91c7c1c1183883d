#include "ui/qt/message_box_sink.h"

#include <QMessageBox>

namespace korvane {

void MessageBoxSink::ShowMessage(const std::string& text) {
    // Some messages end in a CR LF pair; a box shows that as one line break.
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("KorvaneAppDownload"), shown, QMessageBox::Ok, owner_.data());
    box.exec();
}

}  // namespace korvane
