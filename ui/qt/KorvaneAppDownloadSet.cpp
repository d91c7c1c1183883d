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

#include "ui/qt/file_chooser.h"

namespace korvane {

namespace {

// The Qt form of a picker's filter: "img (*.img);;All Files(*.*)".
QString Filter(const FileKind& kind) {
    return QStringLiteral("%1 (%2);;All Files(*.*)").arg(QString::fromUtf8(kind.name), QString::fromUtf8(kind.pattern));
}

constexpr std::array<std::array<int, 4>, 2> kFileSetIds{{{kIdPush1, kIdTarget1, kIdLocal1, kIdLocalOpen1},
                                                         {kIdPush2, kIdTarget2, kIdLocal2, kIdLocalOpen2}}};

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

    FillSetControls(app_, *this);
}

KorvaneAppDownloadSet::~KorvaneAppDownloadSet() = default;

QCheckBox* KorvaneAppDownloadSet::AddCheck(int id, const QString& caption) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(QString::number(id));
    controls_[id] = box;
    connect(box, &QCheckBox::clicked, this, [this, id] { OnSetCheckClicked(id, *this); });
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

    for (size_t i = 0; i < kFileSetIds.size(); ++i) {
        const int row = 3 + 2 * static_cast<int>(i);
        const auto& [push, target, local, openId] = kFileSetIds[i];
        const int number = static_cast<int>(i) + 1;
        layout->addWidget(AddCheck(push, QStringLiteral("Target Path %1").arg(number)), row, 0);
        layout->addWidget(AddEdit(target, false, false), row, 1, 1, 6);
        layout->addWidget(Label(QStringLiteral("Local path %1:").arg(number), local), row + 1, 0);
        layout->addWidget(AddEdit(local, false, true), row + 1, 1, 1, 5);
        QPushButton* open = AddOpenButton(openId);
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

bool KorvaneAppDownloadSet::Checked(int id) const {
    const auto* box = qobject_cast<const QCheckBox*>(controls_.at(id));
    return box != nullptr && box->isChecked();
}

void KorvaneAppDownloadSet::SetChecked(int id, bool on) {
    qobject_cast<QCheckBox*>(controls_.at(id))->setChecked(on);
}

std::string KorvaneAppDownloadSet::Text(int id) const {
    const auto* edit = qobject_cast<const QLineEdit*>(controls_.at(id));
    return edit != nullptr ? edit->text().toStdString() : std::string();
}

void KorvaneAppDownloadSet::SetText(int id, const std::string& text) {
    qobject_cast<QLineEdit*>(controls_.at(id))->setText(QString::fromStdString(text));
}

void KorvaneAppDownloadSet::Enable(int id, bool on) {
    controls_.at(id)->setEnabled(on);
}

int KorvaneAppDownloadSet::LcdSelection() const {
    return lcdType_->currentIndex();
}

void KorvaneAppDownloadSet::SetLcdSelection(int index) {
    lcdType_->setCurrentIndex(index);
}

void KorvaneAppDownloadSet::OnOpenApp() {
    QStringList paths;
    if (!chooser_.OpenFiles(this, Filter(kAppFiles), paths)) {
        return;
    }
    std::vector<std::string> chosen;
    for (const QString& path : paths) {
        chosen.push_back(path.toStdString());
    }
    OnAppFilesChosen(app_, *this, chosen);
}

void KorvaneAppDownloadSet::OnOpenLogo() {
    QString path;
    if (chooser_.OpenFile(this, Filter(kLogoFiles), QString::fromUtf8(kLogoFiles.defaultSuffix), path)) {
        OnLogoChosen(app_, *this, sink_, path.toStdString());
    }
}

void KorvaneAppDownloadSet::OnOpenAmr() {
    QString path;
    if (chooser_.OpenFile(this, Filter(kAmrFiles), QString::fromUtf8(kAmrFiles.defaultSuffix), path)) {
        OnAmrChosen(app_, *this, sink_, path.toStdString());
    }
}

void KorvaneAppDownloadSet::OnOpenLocalPath(int set) {
    QString folder;
    chooser_.ChooseFolder(this, QString::fromUtf8(kLocalFolderTitle), folder);
    OnLocalFolderChosen(app_, *this, set, folder.toStdString());
}

void KorvaneAppDownloadSet::accept() {
    if (StoreSetFields(app_, *this, sink_)) {
        QDialog::accept();
    }
}

}  // namespace korvane
