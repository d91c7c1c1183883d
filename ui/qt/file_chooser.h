// The file and folder pickers of the settings dialog behind a small interface, so that
// tests choose files without opening real dialogs.
// Thread safety: window thread only.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace korvane {

class IFileChooser {
public:
    virtual ~IFileChooser() = default;
    // Each returns false when the operator cancelled. Filters use the Qt form
    // "img (*.img);;All Files(*.*)".
    virtual bool OpenFiles(QWidget* parent, const QString& filter, QStringList& paths) = 0;
    virtual bool OpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix, QString& path) = 0;
    virtual bool ChooseFolder(QWidget* parent, const QString& title, QString& folder) = 0;
};

// The real pickers: QFileDialog, existing files and folders only.
class QtFileChooser final : public IFileChooser {
public:
    bool OpenFiles(QWidget* parent, const QString& filter, QStringList& paths) override;
    bool OpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix, QString& path) override;
    bool ChooseFolder(QWidget* parent, const QString& title, QString& folder) override;
};

}  // namespace korvane
