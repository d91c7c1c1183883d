// The modal "Download Set" dialog: shows the download options of the application object,
// loads a newly chosen logo, audio file or file folder at once, checks the file-system
// settings and stores the fields back on OK. Every control's object name is its number.
// Thread safety: window thread only, and only while no run is active.
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <string>

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

// Control numbers of the dialog.
enum SetControl : int {
    kIdApp = 1000,
    kIdAppNames = 1001,
    kIdAppOpen = 1002,
    kIdLogo = 1003,
    kIdExtPower = 1004,
    kIdGpio = 1005,
    kIdLcdType = 1006,
    kIdLeft = 1007,
    kIdTop = 1008,
    kIdLogoPath = 1009,
    kIdLogoOpen = 1010,
    kIdBacklight = 1011,
    kIdFile = 1012,
    kIdPart1 = 1013,
    kIdPart2 = 1014,
    kIdFlashSize = 1015,
    kIdAddr1 = 1016,
    kIdAddr2 = 1017,
    kIdSize1 = 1018,
    kIdSize2 = 1019,
    kIdDrive1 = 1020,
    kIdDrive2 = 1021,
    kIdPush1 = 1022,
    kIdTarget1 = 1023,
    kIdLocal1 = 1024,
    kIdLocalOpen1 = 1025,
    kIdPush2 = 1026,
    kIdTarget2 = 1027,
    kIdLocal2 = 1028,
    kIdLocalOpen2 = 1029,
    kIdAmr = 1030,
    kIdAmrPath = 1031,
    kIdAmrOpen = 1032,
    kIdRunApp = 1033,
    kIdAutoRun = 1034,
    kIdGpioLevel = 1035,
    kIdLcdIoLevel = 1036,
    kIdLcdClock = 1037,
};

class KorvaneAppDownloadSet : public QDialog {
    Q_OBJECT
public:
    // Messages go to sink; files and folders are chosen through chooser.
    KorvaneAppDownloadSet(CKorvaneAppDownloadApp& app, IMessageSink& sink, IFileChooser& chooser,
                          QWidget* parent = nullptr);
    ~KorvaneAppDownloadSet() override;

    // The App field's text for a list of image paths: each file name followed by ";".
    static QString ImageNamesText(const std::vector<std::string>& imagePaths);

    // Reads and stores the fields group by group; true when every check passed (the
    // dialog then closes with OK). A failing check shows its message and keeps what was
    // stored before it.
    bool StoreFields();

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

    void Initialise();
    void EnableControls(std::initializer_list<int> ids, bool enable);
    void OnCheckClicked(int id);
    void OnOpenApp();
    void OnOpenLogo();
    void OnOpenAmr();
    void OnOpenLocalPath(int set);

    bool StoreLogo();
    bool StoreFileSystem();
    bool StorePartition(int part);
    bool StoreTargetPath(int set);
    bool Refuse(const char* message);

    bool Checked(int id) const;
    QString Text(int id) const;
    int Number(int id) const;
    void SetNumber(int id, int value);

    CKorvaneAppDownloadApp& app_;
    IMessageSink& sink_;
    IFileChooser& chooser_;
    std::map<int, QWidget*> controls_;
    QComboBox* lcdType_ = nullptr;
};

}  // namespace korvane
