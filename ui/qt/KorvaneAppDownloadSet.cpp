#include "ui/qt/KorvaneAppDownloadSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <array>
#include <cstdint>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_values.h"
#include "app/message_sink.h"
#include "images/local_files.h"
#include "ui/qt/file_chooser.h"

namespace korvane {

namespace {

constexpr std::array<const char*, 5> kLcdTypes{"ST7789H2_3WIRE_9BIT_2DATA", "ST7789H2_4WIRE_8BIT_1DATA",
                                               "ST7789V2_3WIRE_9BIT_2DATA", "ILI9342C_4WIRE_8BIT_1DATA",
                                               "ST7735_4WIRE_8BIT_1DATA"};

constexpr int64_t kFlashUnit = 1048576;   // sizes are in MiB
constexpr int64_t kAddressUnit = 4096;    // addresses are in 4 KiB sectors

// The name of a path: the text after its last separator, or all of it.
std::string BaseName(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ToUtf8(const QString& text) {
    return text.toStdString();
}

bool IsUpperLetter(QChar c) {
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

// Texts of the two file sets that carry controls.
struct FileSetControls {
    int push, target, local, open;
    const char* noDrive;
    const char* noColon;
    const char* deepPath;
    const char* rootForm;
    const char* noFiles;
};

constexpr std::array<FileSetControls, 2> kFileSets{{
    {kIdPush1, kIdTarget1, kIdLocal1, kIdLocalOpen1, "Target path 1配置错误，需指明盘符，且与两个分区中的盘符相同",
     "Target path 1配置错误，盘符后需要冒号", "Target path 1 配置错误，当前仅支持盘符一级路径",
     "Target path 1 配置错误，目标是跟目录时，请填写为对应盘符冒号", "Target path 1 未选择待下载文件"},
    {kIdPush2, kIdTarget2, kIdLocal2, kIdLocalOpen2, "Target path 2配置错误，需指明盘符，且与两个分区中的盘符相同",
     "Target path 2配置错误，盘符后需要冒号", "Target path 2 配置错误，当前仅支持盘符一级路径",
     "Target path 2 配置错误，目标是跟目录时，请填写为对应盘符冒号", "Target path 2 未选择待下载文件"},
}};

constexpr std::initializer_list<int> kLogoControls{kIdLcdType, kIdExtPower, kIdGpio,      kIdLeft,
                                                   kIdTop,     kIdLogoPath, kIdLogoOpen, kIdBacklight};
constexpr std::initializer_list<int> kFileControls{kIdPart1,  kIdPart2,  kIdFlashSize, kIdAddr1,  kIdAddr2,   kIdSize1,
                                                   kIdSize2,  kIdDrive1, kIdDrive2,    kIdPush1,  kIdTarget1, kIdLocal1,
                                                   kIdLocalOpen1, kIdPush2, kIdTarget2, kIdLocal2, kIdLocalOpen2};
constexpr std::initializer_list<int> kPart1Controls{kIdAddr1, kIdSize1, kIdDrive1};
constexpr std::initializer_list<int> kPart2Controls{kIdAddr2, kIdSize2, kIdDrive2};
constexpr std::initializer_list<int> kPush1Controls{kIdTarget1, kIdLocal1, kIdLocalOpen1};
constexpr std::initializer_list<int> kPush2Controls{kIdTarget2, kIdLocal2, kIdLocalOpen2};
constexpr std::initializer_list<int> kAmrControls{kIdAmrPath, kIdAmrOpen};

QLabel* Label(const QString& text, int forId) {
    auto* label = new QLabel(text);
    label->setObjectName(QStringLiteral("label_%1").arg(forId));
    return label;
}

}  // namespace

KorvaneAppDownloadSet::KorvaneAppDownloadSet(CKorvaneAppDownloadApp& app, IMessageSink& sink, IFileChooser& chooser,
                                             QWidget* parent)
    : QDialog(parent), app_(app), sink_(sink), chooser_(chooser) {
    setWindowTitle(QStringLiteral("Download Set"));
    setObjectName(QStringLiteral("317"));

    auto* appBox = new QGroupBox(QStringLiteral("App"));
    auto* appLayout = new QGridLayout(appBox);
    BuildAppGroup(appLayout);

    auto* fileBox = new QGroupBox(QStringLiteral("File sytem"));
    auto* fileLayout = new QGridLayout(fileBox);
    BuildFileGroup(fileLayout);

    auto* logoBox = new QGroupBox(QStringLiteral("Logo"));
    auto* logoLayout = new QGridLayout(logoBox);
    BuildLogoGroup(logoLayout);

    auto* amrBox = new QGroupBox(QStringLiteral("AMR"));
    auto* amrLayout = new QGridLayout(amrBox);
    BuildAmrGroup(amrLayout);

    auto* right = new QVBoxLayout;
    right->addWidget(logoBox);
    right->addWidget(amrBox);
    right->addStretch();

    auto* groups = new QHBoxLayout;
    groups->addWidget(fileBox, 1);
    groups->addLayout(right, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &KorvaneAppDownloadSet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &KorvaneAppDownloadSet::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(AddCheck(kIdRunApp, QStringLiteral("Run APP")));
    bottom->addWidget(AddCheck(kIdAutoRun, QStringLiteral("Auto run")));
    bottom->addStretch();
    bottom->addWidget(buttons);

    auto* whole = new QVBoxLayout(this);
    whole->addWidget(appBox);
    whole->addLayout(groups);
    whole->addLayout(bottom);

    Initialise();
}

KorvaneAppDownloadSet::~KorvaneAppDownloadSet() = default;

QCheckBox* KorvaneAppDownloadSet::AddCheck(int id, const QString& caption) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(QString::number(id));
    controls_[id] = box;
    connect(box, &QCheckBox::clicked, this, [this, id] { OnCheckClicked(id); });
    return box;
}

QLineEdit* KorvaneAppDownloadSet::AddEdit(int id, bool digitsOnly, bool readOnly) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::number(id));
    edit->setReadOnly(readOnly);
    if (digitsOnly) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    controls_[id] = edit;
    return edit;
}

QPushButton* KorvaneAppDownloadSet::AddOpenButton(int id) {
    auto* button = new QPushButton(QStringLiteral("Open"));
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    controls_[id] = button;
    return button;
}

void KorvaneAppDownloadSet::BuildAppGroup(QGridLayout* layout) {
    layout->addWidget(AddCheck(kIdApp, QStringLiteral("App")), 0, 0);
    layout->addWidget(AddEdit(kIdAppNames, false, true), 0, 1);
    QPushButton* open = AddOpenButton(kIdAppOpen);
    connect(open, &QPushButton::clicked, this, &KorvaneAppDownloadSet::OnOpenApp);
    layout->addWidget(open, 0, 2);
    layout->setColumnStretch(1, 1);
}

void KorvaneAppDownloadSet::BuildLogoGroup(QGridLayout* layout) {
    layout->addWidget(AddCheck(kIdLogo, QStringLiteral("Download Logo")), 0, 0, 1, 2);
    layout->addWidget(Label(QStringLiteral("LCD Type:"), kIdLcdType), 0, 2);
    lcdType_ = new QComboBox;
    lcdType_->setObjectName(QString::number(kIdLcdType));
    for (const char* item : kLcdTypes) {
        lcdType_->addItem(QString::fromLatin1(item));
    }
    controls_[kIdLcdType] = lcdType_;
    layout->addWidget(lcdType_, 0, 3, 1, 3);

    layout->addWidget(AddCheck(kIdExtPower, QStringLiteral("LCD External LDO power supply")), 1, 0, 1, 2);
    layout->addWidget(Label(QStringLiteral("GPIO number:"), kIdGpio), 1, 2);
    layout->addWidget(AddEdit(kIdGpio, true, false), 1, 3);
    layout->addWidget(Label(QStringLiteral("GPIO Level:"), kIdGpioLevel), 1, 4);
    layout->addWidget(AddEdit(kIdGpioLevel, true, false), 1, 5);

    layout->addWidget(Label(QStringLiteral("Coordinate:"), kIdLeft), 2, 0);
    layout->addWidget(Label(QStringLiteral("Left"), kIdLeft), 2, 1, Qt::AlignRight);
    layout->addWidget(AddEdit(kIdLeft, true, false), 2, 2);
    layout->addWidget(Label(QStringLiteral("Top"), kIdTop), 2, 3, Qt::AlignRight);
    layout->addWidget(AddEdit(kIdTop, true, false), 2, 4);

    layout->addWidget(Label(QStringLiteral("backLightLevel:"), kIdBacklight), 3, 0);
    layout->addWidget(AddEdit(kIdBacklight, false, false), 3, 1);
    layout->addWidget(Label(QStringLiteral("LCDIOLEVEL:"), kIdLcdIoLevel), 3, 2);
    layout->addWidget(AddEdit(kIdLcdIoLevel, true, false), 3, 3);
    layout->addWidget(Label(QStringLiteral("LCDCLK:"), kIdLcdClock), 3, 4);
    layout->addWidget(AddEdit(kIdLcdClock, true, false), 3, 5);

    layout->addWidget(AddEdit(kIdLogoPath, false, true), 4, 0, 1, 5);
    QPushButton* open = AddOpenButton(kIdLogoOpen);
    connect(open, &QPushButton::clicked, this, &KorvaneAppDownloadSet::OnOpenLogo);
    layout->addWidget(open, 4, 5);
}

void KorvaneAppDownloadSet::BuildFileGroup(QGridLayout* layout) {
    layout->addWidget(AddCheck(kIdFile, QStringLiteral("File")), 0, 0);
    layout->addWidget(Label(QStringLiteral("Flash size(M):"), kIdFlashSize), 0, 1);
    layout->addWidget(AddEdit(kIdFlashSize, true, false), 0, 2);

    const std::array<std::array<int, 4>, 2> parts{{{kIdPart1, kIdAddr1, kIdSize1, kIdDrive1},
                                                   {kIdPart2, kIdAddr2, kIdSize2, kIdDrive2}}};
    for (size_t i = 0; i < parts.size(); ++i) {
        const int row = 1 + static_cast<int>(i);
        const auto& ids = parts[i];
        layout->addWidget(AddCheck(ids[0], QStringLiteral("Part %1").arg(i + 1)), row, 0);
        layout->addWidget(Label(QStringLiteral("Addr:"), ids[1]), row, 1);
        layout->addWidget(AddEdit(ids[1], true, false), row, 2);
        layout->addWidget(Label(QStringLiteral("FS size:"), ids[2]), row, 3);
        layout->addWidget(AddEdit(ids[2], true, false), row, 4);
        layout->addWidget(Label(QStringLiteral("Drive letter:"), ids[3]), row, 5);
        layout->addWidget(AddEdit(ids[3], false, false), row, 6);
    }

    for (size_t i = 0; i < kFileSets.size(); ++i) {
        const int row = 3 + 2 * static_cast<int>(i);
        const FileSetControls& set = kFileSets[i];
        const int number = static_cast<int>(i) + 1;
        layout->addWidget(AddCheck(set.push, QStringLiteral("Target Path %1").arg(number)), row, 0);
        layout->addWidget(AddEdit(set.target, false, false), row, 1, 1, 6);
        layout->addWidget(Label(QStringLiteral("Local path %1:").arg(number), set.local), row + 1, 0);
        layout->addWidget(AddEdit(set.local, false, true), row + 1, 1, 1, 5);
        QPushButton* open = AddOpenButton(set.open);
        connect(open, &QPushButton::clicked, this, [this, number] { OnOpenLocalPath(number); });
        layout->addWidget(open, row + 1, 6);
    }
}

void KorvaneAppDownloadSet::BuildAmrGroup(QGridLayout* layout) {
    layout->addWidget(AddCheck(kIdAmr, QStringLiteral("AMR")), 0, 0);
    layout->addWidget(AddEdit(kIdAmrPath, false, true), 0, 1);
    QPushButton* open = AddOpenButton(kIdAmrOpen);
    connect(open, &QPushButton::clicked, this, &KorvaneAppDownloadSet::OnOpenAmr);
    layout->addWidget(open, 0, 2);
    layout->setColumnStretch(1, 1);
}

QString KorvaneAppDownloadSet::ImageNamesText(const std::vector<std::string>& imagePaths) {
    QString text;
    for (const std::string& path : imagePaths) {
        text += QString::fromStdString(BaseName(path)) + QLatin1Char(';');
    }
    return text;
}

bool KorvaneAppDownloadSet::Checked(int id) const {
    const auto* box = qobject_cast<const QCheckBox*>(controls_.at(id));
    return box != nullptr && box->isChecked();
}

QString KorvaneAppDownloadSet::Text(int id) const {
    const auto* edit = qobject_cast<const QLineEdit*>(controls_.at(id));
    return edit != nullptr ? edit->text() : QString();
}

int KorvaneAppDownloadSet::Number(int id) const {
    return ParseIniInteger(ToUtf8(Text(id)));
}

void KorvaneAppDownloadSet::SetNumber(int id, int value) {
    qobject_cast<QLineEdit*>(controls_.at(id))->setText(QString::number(value));
}

void KorvaneAppDownloadSet::EnableControls(std::initializer_list<int> ids, bool enable) {
    for (int id : ids) {
        controls_.at(id)->setEnabled(enable);
    }
}

void KorvaneAppDownloadSet::Initialise() {
    auto check = [this](int id, int value) { qobject_cast<QCheckBox*>(controls_.at(id))->setChecked(value != 0); };
    auto text = [this](int id, const std::string& value) {
        qobject_cast<QLineEdit*>(controls_.at(id))->setText(QString::fromStdString(value));
    };

    check(kIdApp, app_.b_downloadApp);
    EnableControls({kIdAppNames, kIdAppOpen}, app_.b_downloadApp != 0);
    if (app_.b_downloadApp != 0) {
        qobject_cast<QLineEdit*>(controls_.at(kIdAppNames))->setText(ImageNamesText(app_.imagePaths));
    }

    check(kIdLogo, app_.b_downloadLogo);
    EnableControls(kLogoControls, app_.b_downloadLogo != 0);
    lcdType_->setCurrentIndex(-1);
    if (app_.b_downloadLogo != 0) {
        text(kIdLogoPath, app_.logoPath);
        check(kIdExtPower, app_.b_extPower);
        SetNumber(kIdLeft, app_.logoLeft);
        SetNumber(kIdTop, app_.logoTop);
        SetNumber(kIdBacklight, app_.logoBacklight);
        if (app_.b_extPower != 0) {
            SetNumber(kIdGpio, app_.extPowerGPIO);
            SetNumber(kIdGpioLevel, app_.extPowerGPIOPolarity);
        }
        SetNumber(kIdLcdIoLevel, app_.lcdIOLevel);
        SetNumber(kIdLcdClock, app_.lcdClock);
        const bool known = app_.lcdType >= 0 && app_.lcdType < static_cast<int>(kLcdTypes.size());
        lcdType_->setCurrentIndex(known ? app_.lcdType : -1);
    }

    check(kIdFile, app_.b_fileDownload);
    EnableControls(kFileControls, app_.b_fileDownload != 0);
    if (app_.b_fileDownload != 0) {
        check(kIdPart1, app_.b_fsPart1Init);
        check(kIdPart2, app_.b_fsPart2Init);
        SetNumber(kIdFlashSize, app_.spiFlashSize);
        EnableControls(kPart1Controls, app_.b_fsPart1Init != 0);
        EnableControls(kPart2Controls, app_.b_fsPart2Init != 0);
        if (app_.b_fsPart1Init != 0) {
            SetNumber(kIdAddr1, app_.fsPart1Address);
            SetNumber(kIdSize1, app_.fsPart1Size);
            text(kIdDrive1, app_.fsPart1Drive);
        }
        if (app_.b_fsPart2Init != 0) {
            SetNumber(kIdAddr2, app_.fsPart2Address);
            SetNumber(kIdSize2, app_.fsPart2Size);
            text(kIdDrive2, app_.fsPart2Drive);
        }
        check(kIdPush1, app_.b_filePush1);
        check(kIdPush2, app_.b_filePush2);
        EnableControls(kPush1Controls, app_.b_filePush1 != 0);
        EnableControls(kPush2Controls, app_.b_filePush2 != 0);
        if (app_.b_filePush1 != 0) {
            text(kIdTarget1, app_.targetPath1);
            text(kIdLocal1, app_.filePath1);
        }
        if (app_.b_filePush2 != 0) {
            text(kIdTarget2, app_.targetPath2);
            text(kIdLocal2, app_.filePath2);
        }
    }

    check(kIdAmr, app_.b_downloadAMR);
    EnableControls(kAmrControls, app_.b_downloadAMR != 0);
    if (app_.b_downloadAMR != 0) {
        text(kIdAmrPath, app_.amrPath);
    }

    check(kIdRunApp, app_.b_runApp);
    check(kIdAutoRun, app_.b_autoRun);
}

void KorvaneAppDownloadSet::OnCheckClicked(int id) {
    const bool on = Checked(id);
    switch (id) {
        case kIdApp: EnableControls({kIdAppOpen}, on); break;
        case kIdLogo: EnableControls(kLogoControls, on); break;
        case kIdFile: EnableControls(kFileControls, on); break;
        case kIdPart1: EnableControls(kPart1Controls, on); break;
        case kIdPart2: EnableControls(kPart2Controls, on); break;
        case kIdPush1: EnableControls(kPush1Controls, on); break;
        case kIdPush2: EnableControls(kPush2Controls, on); break;
        case kIdAmr: EnableControls(kAmrControls, on); break;
        default: break;
    }
}

void KorvaneAppDownloadSet::OnOpenApp() {
    QStringList paths;
    if (!chooser_.OpenFiles(this, QStringLiteral("img (*.img);;All Files(*.*)"), paths)) {
        return;
    }
    app_.imagePaths.clear();
    for (const QString& path : paths) {
        app_.imagePaths.push_back(ToUtf8(path));
    }
    qobject_cast<QLineEdit*>(controls_.at(kIdAppNames))->setText(ImageNamesText(app_.imagePaths));
}

void KorvaneAppDownloadSet::OnOpenLogo() {
    QString path;
    if (!chooser_.OpenFile(this, QStringLiteral("bitmap (*.bmp);;All Files(*.*)"), QStringLiteral("bmp"), path)) {
        return;
    }
    app_.logoPixels.clear();
    app_.logoPath = ToUtf8(path);
    if (LoadLogo(app_) == 1) {
        app_.b_logoLoaded = 1;
        qobject_cast<QLineEdit*>(controls_.at(kIdLogoPath))->setText(path);
    } else {
        app_.b_logoLoaded = 0;
        sink_.ShowMessage("logo文件加载失败，请重新选择！");
    }
}

void KorvaneAppDownloadSet::OnOpenAmr() {
    QString path;
    if (!chooser_.OpenFile(this, QStringLiteral("AMR (*.amr);;All Files(*.*)"), QStringLiteral("amr"), path)) {
        return;
    }
    app_.amrData.clear();
    app_.amrPath = ToUtf8(path);
    switch (LoadAmr(app_)) {
        case kAmrLoaded: qobject_cast<QLineEdit*>(controls_.at(kIdAmrPath))->setText(path); break;
        case kAmrNoMemory: sink_.ShowMessage(kAmrNoMemoryMessage); break;
        case kAmrUnreadable: sink_.ShowMessage(kAmrLoadFailedMessage); break;
    }
}

void KorvaneAppDownloadSet::OnOpenLocalPath(int set) {
    QString folder;
    chooser_.ChooseFolder(this, QStringLiteral("请选择处理结果存储路径"), folder);
    const std::string chosen = ToUtf8(folder);
    (set == 1 ? app_.filePath1 : app_.filePath2) = chosen;
    if (chosen.empty()) {
        return;
    }
    const FileSetControls& controls = kFileSets[static_cast<size_t>(set - 1)];
    qobject_cast<QLineEdit*>(controls_.at(controls.local))->setText(folder);
    // Rebuilt from the new folder; files left out are not reported here, unlike at start-up.
    LoadFileSet(app_, set, {});
}

void KorvaneAppDownloadSet::accept() {
    if (StoreFields()) {
        QDialog::accept();
    }
}

bool KorvaneAppDownloadSet::Refuse(const char* message) {
    sink_.ShowMessage(message);
    return false;
}

bool KorvaneAppDownloadSet::StoreFields() {
    app_.b_downloadApp = Checked(kIdApp) ? 1 : 0;
    if (app_.b_downloadApp != 0 && app_.imagePaths.empty()) {
        return Refuse("未选择APP!");
    }
    if (!StoreLogo() || !StoreFileSystem()) {
        return false;
    }
    app_.b_downloadAMR = Checked(kIdAmr) ? 1 : 0;
    if (app_.b_downloadAMR != 0 && app_.amrPath.empty()) {
        return Refuse("未选择amr文件!");
    }
    app_.b_runApp = Checked(kIdRunApp) ? 1 : 0;
    app_.b_autoRun = Checked(kIdAutoRun) ? 1 : 0;
    return true;
}

bool KorvaneAppDownloadSet::StoreLogo() {
    app_.b_downloadLogo = Checked(kIdLogo) ? 1 : 0;
    if (app_.b_downloadLogo == 0) {
        return true;
    }
    if (app_.b_logoLoaded == 0) {
        return Refuse("logo文件未加载，请重新选择!");
    }
    if (lcdType_->currentIndex() < 0) {
        return Refuse("未选择LCD类型!");
    }
    app_.lcdType = lcdType_->currentIndex();
    app_.logoLeft = Number(kIdLeft);
    app_.logoTop = Number(kIdTop);
    app_.logoPath = ToUtf8(Text(kIdLogoPath));
    app_.logoBacklight = Number(kIdBacklight);
    app_.extPowerGPIO = Number(kIdGpio);
    app_.extPowerGPIOPolarity = Number(kIdGpioLevel);
    app_.lcdIOLevel = Number(kIdLcdIoLevel);
    app_.lcdClock = Number(kIdLcdClock);
    app_.b_extPower = Checked(kIdExtPower) ? 1 : 0;
    app_.logoBlock.clear();
    BuildLogoBlock(app_);
    return true;
}

bool KorvaneAppDownloadSet::StorePartition(int part) {
    const bool first = part == 1;
    const QString drive = Text(first ? kIdDrive1 : kIdDrive2);
    if (drive.size() != 1 || !IsUpperLetter(drive.at(0))) {
        return Refuse("Drive letter设置错误，仅支持一个大写英文字符");
    }
    (first ? app_.fsPart1Drive : app_.fsPart2Drive) = ToUtf8(drive);
    int& address = first ? app_.fsPart1Address : app_.fsPart2Address;
    int& size = first ? app_.fsPart1Size : app_.fsPart2Size;
    address = Number(first ? kIdAddr1 : kIdAddr2);
    size = Number(first ? kIdSize1 : kIdSize2);
    // In 64 bits: a flash of 2048 MiB or more does not fit a 32-bit byte count.
    if (address * kAddressUnit + size * kFlashUnit > app_.spiFlashSize * kFlashUnit) {
        return Refuse("配置错误");
    }
    return true;
}

bool KorvaneAppDownloadSet::StoreTargetPath(int set) {
    const FileSetControls& controls = kFileSets[static_cast<size_t>(set - 1)];
    int& push = set == 1 ? app_.b_filePush1 : app_.b_filePush2;
    push = Checked(controls.push) ? 1 : 0;
    if (push == 0) {
        return true;
    }
    const QString target = Text(controls.target);
    if (target.isEmpty() || !IsUpperLetter(target.at(0))) {
        return Refuse(controls.noDrive);
    }
    if (target.size() < 2 || target.at(1) != QLatin1Char(':')) {
        return Refuse(controls.noColon);
    }
    (set == 1 ? app_.targetPath1 : app_.targetPath2) = ToUtf8(target);
    const qsizetype slashes = target.count(QLatin1Char('/'));
    if (slashes > 1) {
        return Refuse(controls.deepPath);
    }
    if (slashes == 0 && target.size() != 2) {
        return Refuse(controls.rootForm);
    }
    std::string& local = set == 1 ? app_.filePath1 : app_.filePath2;
    local = ToUtf8(Text(controls.local));
    if (local.empty()) {
        return Refuse(controls.noFiles);
    }
    return true;
}

bool KorvaneAppDownloadSet::StoreFileSystem() {
    app_.b_fileDownload = Checked(kIdFile) ? 1 : 0;
    if (app_.b_fileDownload == 0) {
        return true;
    }
    app_.spiFlashSize = Number(kIdFlashSize);
    app_.b_fsPart1Init = Checked(kIdPart1) ? 1 : 0;
    app_.b_fsPart2Init = Checked(kIdPart2) ? 1 : 0;
    if (app_.b_fsPart1Init == 0 && app_.b_fsPart2Init == 0) {
        return Refuse("至少配置一个分区！");
    }
    if (app_.b_fsPart1Init != 0 && !StorePartition(1)) {
        return false;
    }
    if (app_.b_fsPart2Init != 0 && !StorePartition(2)) {
        return false;
    }
    if (app_.b_fsPart1Init != 0 && app_.b_fsPart2Init != 0) {
        if (app_.fsPart1Drive == app_.fsPart2Drive) {
            return Refuse("两个分区盘符不能相同");
        }
        if (app_.fsPart1Address == app_.fsPart2Address) {
            return Refuse("两个分区起始地址不能相同");
        }
        if (int64_t{app_.fsPart1Size} + app_.fsPart2Size > app_.spiFlashSize) {
            return Refuse("配置错误");
        }
        const int64_t part1End = app_.fsPart1Address * kAddressUnit + app_.fsPart1Size * kFlashUnit;
        if (part1End > app_.fsPart2Address * kAddressUnit) {
            return Refuse("配置错误");
        }
    }
    return StoreTargetPath(1) && StoreTargetPath(2);
}

}  // namespace korvane
