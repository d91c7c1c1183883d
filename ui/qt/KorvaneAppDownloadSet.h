// The modal "Download Set" dialog in Qt: builds the controls (every control's object name
// is its number), hands them to the shared dialog rules and forwards the clicks; the
// Open buttons ask Qt's pickers and give the rules the paths chosen.
// Thread safety: window thread only, and only while no run is active.
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <string>

#include "ui/set_dialog_rules.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QGridLayout;
class QGroupBox;

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class IFileChooser;

class KorvaneAppDownloadSet : public QDialog, private ISetControls {
    Q_OBJECT
public:
    // Messages go to sink; files and folders are chosen through chooser.
    KorvaneAppDownloadSet(CKorvaneAppDownloadApp& app, IMessageSink& sink, IFileChooser& chooser,
                          QWidget* parent = nullptr);
    ~KorvaneAppDownloadSet() override;

public slots:
    void accept() override;

private:
    void BuildAppGroup(QGridLayout* layout);
    void BuildLogoGroup(QGridLayout* layout);
    void BuildFileGroup(QGridLayout* layout);
    void BuildAmrGroup(QGridLayout* layout);
    QCheckBox* AddCheck(int id, const QString& caption);
    QLineEdit* AddEdit(int id, bool digitsOnly, bool readOnly);
    QPushButton* AddOpenButton(int id);

    void OnOpenApp();
    void OnOpenLogo();
    void OnOpenAmr();
    void OnOpenLocalPath(int set);

    bool Checked(int id) const override;
    void SetChecked(int id, bool on) override;
    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    void Enable(int id, bool on) override;
    int LcdSelection() const override;
    void SetLcdSelection(int index) override;

    CKorvaneAppDownloadApp& app_;
    IMessageSink& sink_;
    IFileChooser& chooser_;
    std::map<int, QWidget*> controls_;
    QComboBox* lcdType_ = nullptr;
};

}  // namespace korvane
