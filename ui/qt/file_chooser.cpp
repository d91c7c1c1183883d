#include "ui/qt/file_chooser.h"

#include <QFileDialog>

namespace korvane {

bool QtFileChooser::OpenFiles(QWidget* parent, const QString& filter, QStringList& paths) {
    QFileDialog dialog(parent, QString(), QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    paths = dialog.selectedFiles();
    return !paths.isEmpty();
}

bool QtFileChooser::OpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix, QString& path) {
    QFileDialog dialog(parent, QString(), QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    path = dialog.selectedFiles().constFirst();
    return true;
}

bool QtFileChooser::ChooseFolder(QWidget* parent, const QString& title, QString& folder) {
    folder = QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
    return !folder.isEmpty();
}

}  // namespace korvane
