// The "Download Set" dialog: OK's checks and what they store, Cancel, the Open buttons
// and the enabling rules of the check boxes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>

#include "app/KorvaneAppDownloadApp.h"
#include "images/local_files.h"
#include "tests/fixtures/bitmap16.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/ui/qt/ui_fakes.h"
#include "ui/qt/KorvaneAppDownloadSet.h"

namespace korvane {
namespace {

using korvane::test::ScriptedChooser;
using korvane::testing::RecordingMessageSink;

class SetDialogTest : public ::testing::Test {
protected:
    // One partition of the whole 16 MiB flash, nothing else to download.
    static void Baseline(CKorvaneAppDownloadApp& a) {
        a.fileSystem.b_fileDownload = 1;
        a.fileSystem.spiFlashSize = 16;
        a.fileSystem.partitions[0].b_fsPartInit = 1;
        a.fileSystem.partitions[0].fsPartAddress = 0;
        a.fileSystem.partitions[0].fsPartSize = 16;
        a.fileSystem.partitions[0].fsPartDrive = "C";
    }
    void SetUp() override { Baseline(app); }

    std::unique_ptr<KorvaneAppDownloadSet> Open(CKorvaneAppDownloadApp& a) {
        return std::make_unique<KorvaneAppDownloadSet>(a, sink, chooser);
    }
    std::unique_ptr<KorvaneAppDownloadSet> Open() { return Open(app); }

    template <typename T>
    static T* Control(KorvaneAppDownloadSet& dialog, int id) {
        T* control = dialog.findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    static QCheckBox* Box(KorvaneAppDownloadSet& dialog, int id) { return Control<QCheckBox>(dialog, id); }
    static QLineEdit* Edit(KorvaneAppDownloadSet& dialog, int id) { return Control<QLineEdit>(dialog, id); }
    static void Click(KorvaneAppDownloadSet& dialog, int id) { Control<QAbstractButton>(dialog, id)->click(); }
    static void SetChecked(KorvaneAppDownloadSet& dialog, int id, bool on) {
        if (Box(dialog, id)->isChecked() != on) {
            Click(dialog, id);
        }
    }

    // Presses OK; the message shown, or "" when the dialog closed with OK.
    std::string PressOk(KorvaneAppDownloadSet& dialog) {
        sink.messages.clear();
        dialog.setResult(QDialog::Rejected);
        dialog.accept();
        if (dialog.result() == QDialog::Accepted) {
            EXPECT_TRUE(sink.messages.empty());
            return "";
        }
        EXPECT_EQ(sink.messages.size(), 1u);
        return sink.messages.empty() ? "(no message)" : sink.messages.back();
    }

    CKorvaneAppDownloadApp app;
    RecordingMessageSink sink;
    ScriptedChooser chooser;
};

struct OkCase {
    const char* name;
    std::function<void(CKorvaneAppDownloadApp&)> setUp;
    const char* message;  // "" when OK is accepted
};

TEST_F(SetDialogTest, OkChecksInOrderWithTheirMessages) {
    auto twoParts = [](CKorvaneAppDownloadApp& a) {
        a.fileSystem.partitions[0].fsPartSize = 8;
        a.fileSystem.partitions[1].b_fsPartInit = 1;
        a.fileSystem.partitions[1].fsPartAddress = 2048;
        a.fileSystem.partitions[1].fsPartSize = 8;
        a.fileSystem.partitions[1].fsPartDrive = "D";
    };
    auto target1 = [](const char* target, const char* local) {
        return [=](CKorvaneAppDownloadApp& a) {
            a.fileSystem.fileSets[0].b_filePush = 1;
            a.fileSystem.fileSets[0].targetPath = target;
            a.fileSystem.fileSets[0].filePath = local;
        };
    };
    const OkCase cases[] = {
        {"one partition filling the flash", [](CKorvaneAppDownloadApp&) {}, ""},
        {"drive letter in lower case", [](CKorvaneAppDownloadApp& a) { a.fileSystem.partitions[0].fsPartDrive = "c"; },
         "Drive letter设置错误，仅支持一个大写英文字符"},
        {"drive letter of two letters", [](CKorvaneAppDownloadApp& a) { a.fileSystem.partitions[0].fsPartDrive = "CD"; },
         "Drive letter设置错误，仅支持一个大写英文字符"},
        {"empty drive letter", [](CKorvaneAppDownloadApp& a) { a.fileSystem.partitions[0].fsPartDrive = ""; },
         "Drive letter设置错误，仅支持一个大写英文字符"},
        {"partition one sector past the flash", [](CKorvaneAppDownloadApp& a) { a.fileSystem.partitions[0].fsPartAddress = 1; }, "配置错误"},
        {"neither partition", [](CKorvaneAppDownloadApp& a) { a.fileSystem.partitions[0].b_fsPartInit = 0; }, "至少配置一个分区！"},
        {"two partitions meeting exactly", twoParts, ""},
        {"partition 1 ending after partition 2 starts",
         [&](CKorvaneAppDownloadApp& a) {
             twoParts(a);
             a.fileSystem.partitions[1].fsPartAddress = 2047;
         },
         "配置错误"},
        {"same drive letters",
         [&](CKorvaneAppDownloadApp& a) {
             twoParts(a);
             a.fileSystem.partitions[1].fsPartDrive = "C";
         },
         "两个分区盘符不能相同"},
        {"same addresses",
         [&](CKorvaneAppDownloadApp& a) {
             twoParts(a);
             a.fileSystem.partitions[1].fsPartAddress = 0;
             a.fileSystem.partitions[0].fsPartSize = 1;
             a.fileSystem.partitions[1].fsPartSize = 1;
         },
         "两个分区起始地址不能相同"},
        {"sizes together beyond the flash",
         [&](CKorvaneAppDownloadApp& a) {
             twoParts(a);
             a.fileSystem.partitions[0].fsPartSize = 9;
         },
         "配置错误"},
        // 4096 MiB counted in bytes does not fit 32 bits; the partition still fits the flash.
        {"a 100 MiB partition on a 4096 MiB flash",
         [](CKorvaneAppDownloadApp& a) {
             a.fileSystem.spiFlashSize = 4096;
             a.fileSystem.partitions[0].fsPartSize = 100;
         },
         ""},
        {"target D:", target1("D:", "/tmp"), ""},
        {"target D:/data", target1("D:/data", "/tmp"), ""},
        {"target D:/a/b", target1("D:/a/b", "/tmp"), "Target path 1 配置错误，当前仅支持盘符一级路径"},
        {"target D:\\data", target1("D:\\data", "/tmp"), "Target path 1 配置错误，目标是跟目录时，请填写为对应盘符冒号"},
        {"target d:/data", target1("d:/data", "/tmp"), "Target path 1配置错误，需指明盘符，且与两个分区中的盘符相同"},
        {"target D", target1("D", "/tmp"), "Target path 1配置错误，盘符后需要冒号"},
        {"empty target", target1("", "/tmp"), "Target path 1配置错误，需指明盘符，且与两个分区中的盘符相同"},
        {"target without local files", target1("D:", ""), "Target path 1 未选择待下载文件"},
        {"target 2 without a colon",
         [](CKorvaneAppDownloadApp& a) {
             a.fileSystem.fileSets[1].b_filePush = 1;
             a.fileSystem.fileSets[1].targetPath = "E/";
             a.fileSystem.fileSets[1].filePath = "/tmp";
         },
         "Target path 2配置错误，盘符后需要冒号"},
        {"target 2 too deep",
         [](CKorvaneAppDownloadApp& a) {
             a.fileSystem.fileSets[1].b_filePush = 1;
             a.fileSystem.fileSets[1].targetPath = "E:/x/y";
             a.fileSystem.fileSets[1].filePath = "/tmp";
         },
         "Target path 2 配置错误，当前仅支持盘符一级路径"},
        {"App on without image files", [](CKorvaneAppDownloadApp& a) { a.images.b_downloadApp = 1; }, "未选择APP!"},
        {"App on with image files",
         [](CKorvaneAppDownloadApp& a) {
             a.images.b_downloadApp = 1;
             a.imagePaths = {"/images/MainApp.img"};
         },
         ""},
        {"Logo on without a loaded logo",
         [](CKorvaneAppDownloadApp& a) {
             a.logo.b_downloadLogo = 1;
             a.logo.lcdType = 1;
         },
         "logo文件未加载，请重新选择!"},
        {"Logo on without an LCD type",
         [](CKorvaneAppDownloadApp& a) {
             a.logo.b_downloadLogo = 1;
             a.logo.b_logoLoaded = 1;
             a.logo.lcdType = 5;
         },
         "未选择LCD类型!"},
        {"Logo on, loaded, with an LCD type",
         [](CKorvaneAppDownloadApp& a) {
             a.logo.b_downloadLogo = 1;
             a.logo.b_logoLoaded = 1;
             a.logo.lcdType = 4;
         },
         ""},
        {"AMR on without a path", [](CKorvaneAppDownloadApp& a) { a.audio.b_downloadAMR = 1; }, "未选择amr文件!"},
        {"AMR on with a path",
         [](CKorvaneAppDownloadApp& a) {
             a.audio.b_downloadAMR = 1;
             a.audio.amrPath = "/sounds/boot.amr";
         },
         ""},
        {"App checked before the file system", [](CKorvaneAppDownloadApp& a) {
             a.images.b_downloadApp = 1;
             a.fileSystem.partitions[0].fsPartDrive = "c";
         },
         "未选择APP!"},
    };
    for (const OkCase& c : cases) {
        SCOPED_TRACE(c.name);
        CKorvaneAppDownloadApp fresh;
        Baseline(fresh);
        c.setUp(fresh);
        auto dialog = Open(fresh);
        EXPECT_EQ(PressOk(*dialog), c.message);
    }
}

TEST_F(SetDialogTest, AcceptedOkStoresEveryField) {
    app.fileSystem.fileSets[0].b_filePush = 1;
    app.fileSystem.fileSets[0].targetPath = "C:";
    app.fileSystem.fileSets[0].filePath = "/files";
    app.logo.b_logoLoaded = 1;
    auto dialog = Open();
    SetChecked(*dialog, kIdLogo, true);
    Control<QComboBox>(*dialog, kIdLcdType)->setCurrentIndex(3);
    Edit(*dialog, kIdLeft)->setText("12");
    Edit(*dialog, kIdTop)->setText("34");
    Edit(*dialog, kIdBacklight)->setText(" 7x");
    Edit(*dialog, kIdLcdIoLevel)->setText("");
    Edit(*dialog, kIdLcdClock)->setText("48");
    SetChecked(*dialog, kIdPart2, true);
    Edit(*dialog, kIdFlashSize)->setText("32");
    Edit(*dialog, kIdAddr2)->setText("4096");
    Edit(*dialog, kIdSize2)->setText("8");
    Edit(*dialog, kIdDrive2)->setText("E");
    Edit(*dialog, kIdTarget1)->setText("E:/music");
    SetChecked(*dialog, kIdRunApp, true);
    SetChecked(*dialog, kIdAutoRun, true);

    ASSERT_EQ(PressOk(*dialog), "");
    EXPECT_EQ(app.logo.b_downloadLogo, 1);
    EXPECT_EQ(app.logo.lcdType, 3);
    EXPECT_EQ(app.logo.logoLeft, 12);
    EXPECT_EQ(app.logo.logoTop, 34);
    EXPECT_EQ(app.logo.logoBacklight, 7);
    EXPECT_EQ(app.logo.lcdIOLevel, 0);
    EXPECT_EQ(app.logo.lcdClock, 48);
    EXPECT_EQ(app.logo.logoBlock.size(), static_cast<size_t>(kLogoHeaderSize));
    EXPECT_EQ(app.fileSystem.spiFlashSize, 32);
    EXPECT_EQ(app.fileSystem.partitions[1].b_fsPartInit, 1);
    EXPECT_EQ(app.fileSystem.partitions[1].fsPartAddress, 4096);
    EXPECT_EQ(app.fileSystem.partitions[1].fsPartSize, 8);
    EXPECT_EQ(app.fileSystem.partitions[1].fsPartDrive, "E");
    EXPECT_EQ(app.fileSystem.fileSets[0].targetPath, "E:/music");
    EXPECT_EQ(app.fileSystem.fileSets[0].filePath, "/files");
    EXPECT_EQ(app.b_runApp, 1);
    EXPECT_EQ(app.b_autoRun, 1);
}

TEST_F(SetDialogTest, ValuesStoredBeforeAFailingCheckStayAfterCancel) {
    app.imagePaths = {"/images/MainApp.img"};
    app.logo.b_logoLoaded = 1;
    app.logo.b_downloadLogo = 1;
    app.logo.lcdType = 0;
    auto dialog = Open();
    Click(*dialog, kIdApp);
    Edit(*dialog, kIdLeft)->setText("77");
    Edit(*dialog, kIdFlashSize)->setText("32");
    Edit(*dialog, kIdDrive1)->setText("c");
    SetChecked(*dialog, kIdAutoRun, true);

    EXPECT_EQ(PressOk(*dialog), "Drive letter设置错误，仅支持一个大写英文字符");
    dialog->reject();
    EXPECT_EQ(app.images.b_downloadApp, 1);
    EXPECT_EQ(app.logo.logoLeft, 77);
    EXPECT_EQ(app.fileSystem.spiFlashSize, 32);
    EXPECT_EQ(app.fileSystem.partitions[0].fsPartDrive, "C");
    EXPECT_EQ(app.b_autoRun, 0);
}

TEST_F(SetDialogTest, CancelReadsNoField) {
    auto dialog = Open();
    Edit(*dialog, kIdFlashSize)->setText("64");
    Click(*dialog, kIdRunApp);
    dialog->reject();
    EXPECT_EQ(app.fileSystem.spiFlashSize, 16);
    EXPECT_EQ(app.b_runApp, 0);
}

TEST_F(SetDialogTest, ChosenImagesShowByNameAndStayForTheNextOpening) {
    app.images.b_downloadApp = 1;
    chooser.answers.push_back({true, {"/data/images/MainApp.img", "/data/images/SecondApp.img"}});
    {
        auto dialog = Open();
        EXPECT_EQ(Edit(*dialog, kIdAppNames)->text(), "");
        EXPECT_EQ(PressOk(*dialog), "未选择APP!");
        Click(*dialog, kIdAppOpen);
        EXPECT_EQ(chooser.filters.back(), "img (*.img);;All Files(*.*)");
        EXPECT_EQ(Edit(*dialog, kIdAppNames)->text(), "MainApp.img;SecondApp.img;");
        dialog->reject();
    }
    EXPECT_EQ(app.imagePaths, (std::vector<std::string>{"/data/images/MainApp.img", "/data/images/SecondApp.img"}));
    auto reopened = Open();
    EXPECT_EQ(Edit(*reopened, kIdAppNames)->text(), "MainApp.img;SecondApp.img;");
    Click(*reopened, kIdAppOpen);  // cancelled: nothing changes
    EXPECT_EQ(app.imagePaths.size(), 2u);
    EXPECT_EQ(PressOk(*reopened), "");
}

TEST_F(SetDialogTest, InitialisationFillsOnlyWhatIsSwitchedOn) {
    app.fileSystem.partitions[1].b_fsPartInit = 0;
    app.fileSystem.partitions[1].fsPartDrive = "Q";
    app.logo.b_downloadLogo = 0;
    app.logo.logoLeft = 99;
    app.audio.b_downloadAMR = 0;
    app.audio.amrPath = "/a.amr";
    app.images.b_downloadApp = 0;
    app.imagePaths = {"/x/App.img"};
    auto dialog = Open();
    EXPECT_EQ(Edit(*dialog, kIdFlashSize)->text(), "16");
    EXPECT_EQ(Edit(*dialog, kIdDrive1)->text(), "C");
    EXPECT_EQ(Edit(*dialog, kIdDrive2)->text(), "");
    EXPECT_EQ(Edit(*dialog, kIdLeft)->text(), "");
    EXPECT_EQ(Edit(*dialog, kIdAmrPath)->text(), "");
    EXPECT_EQ(Edit(*dialog, kIdAppNames)->text(), "");
    EXPECT_EQ(Control<QComboBox>(*dialog, kIdLcdType)->currentIndex(), -1);
    EXPECT_EQ(Control<QComboBox>(*dialog, kIdLcdType)->count(), 5);
    EXPECT_EQ(Control<QComboBox>(*dialog, kIdLcdType)->itemText(3), "ILI9342C_4WIRE_8BIT_1DATA");
}

TEST_F(SetDialogTest, CheckBoxesEnableTheirControls) {
    app.fileSystem.b_fileDownload = 0;
    app.fileSystem.partitions[0].b_fsPartInit = 0;
    const struct {
        int box;
        std::vector<int> controls;
    } rules[] = {
        {kIdApp, {kIdAppOpen}},
        {kIdLogo, {kIdLcdType, kIdExtPower, kIdGpio, kIdLeft, kIdTop, kIdLogoPath, kIdLogoOpen, kIdBacklight}},
        {kIdAmr, {kIdAmrPath, kIdAmrOpen}},
        {kIdPart1, {kIdAddr1, kIdSize1, kIdDrive1}},
        {kIdPart2, {kIdAddr2, kIdSize2, kIdDrive2}},
        {kIdPush1, {kIdTarget1, kIdLocal1, kIdLocalOpen1}},
        {kIdPush2, {kIdTarget2, kIdLocal2, kIdLocalOpen2}},
    };
    auto dialog = Open();
    // Everything starts off; "File" first, so that its own controls can be clicked.
    Click(*dialog, kIdFile);
    for (int id = kIdPart1; id <= kIdLocalOpen2; ++id) {
        EXPECT_TRUE(Control<QWidget>(*dialog, id)->isEnabled()) << id;
    }
    for (const auto& rule : rules) {
        SCOPED_TRACE(rule.box);
        SetChecked(*dialog, rule.box, true);
        for (int id : rule.controls) {
            EXPECT_TRUE(Control<QWidget>(*dialog, id)->isEnabled()) << id;
        }
        SetChecked(*dialog, rule.box, false);
        for (int id : rule.controls) {
            EXPECT_FALSE(Control<QWidget>(*dialog, id)->isEnabled()) << id;
        }
    }
    // "File" switches all seventeen, whatever the partition and target boxes say.
    Click(*dialog, kIdFile);
    for (int id = kIdPart1; id <= kIdLocalOpen2; ++id) {
        EXPECT_FALSE(Control<QWidget>(*dialog, id)->isEnabled()) << id;
    }
    Click(*dialog, kIdFile);
    EXPECT_TRUE(Control<QWidget>(*dialog, kIdAddr1)->isEnabled());
    // The App names field follows only the initial state; three fields never change.
    EXPECT_FALSE(Control<QWidget>(*dialog, kIdAppNames)->isEnabled());
    for (int id : {kIdGpioLevel, kIdLcdIoLevel, kIdLcdClock}) {
        EXPECT_TRUE(Control<QWidget>(*dialog, id)->isEnabled()) << id;
    }
}

TEST_F(SetDialogTest, InitialEnablingFollowsTheStoredSwitches) {
    app.fileSystem.partitions[0].b_fsPartInit = 0;
    app.fileSystem.partitions[1].b_fsPartInit = 1;
    app.fileSystem.fileSets[1].b_filePush = 1;
    app.images.b_downloadApp = 1;
    auto dialog = Open();
    EXPECT_FALSE(Control<QWidget>(*dialog, kIdAddr1)->isEnabled());
    EXPECT_TRUE(Control<QWidget>(*dialog, kIdAddr2)->isEnabled());
    EXPECT_FALSE(Control<QWidget>(*dialog, kIdTarget1)->isEnabled());
    EXPECT_TRUE(Control<QWidget>(*dialog, kIdTarget2)->isEnabled());
    EXPECT_TRUE(Control<QWidget>(*dialog, kIdAppNames)->isEnabled());
    EXPECT_FALSE(Control<QWidget>(*dialog, kIdLogoOpen)->isEnabled());
}

TEST_F(SetDialogTest, NumberFieldsTakeDigitsOnly) {
    auto dialog = Open();
    for (int id : {kIdGpio, kIdGpioLevel, kIdLeft, kIdTop, kIdLcdIoLevel, kIdLcdClock, kIdFlashSize, kIdAddr1,
                   kIdAddr2, kIdSize1, kIdSize2}) {
        const QValidator* validator = Edit(*dialog, id)->validator();
        ASSERT_NE(validator, nullptr) << id;
        QString text = "12a";
        int pos = 0;
        EXPECT_EQ(validator->validate(text, pos), QValidator::Invalid) << id;
        text = "0123";
        EXPECT_EQ(validator->validate(text, pos), QValidator::Acceptable) << id;
    }
    for (int id : {kIdAppNames, kIdLogoPath, kIdLocal1, kIdLocal2, kIdAmrPath}) {
        EXPECT_TRUE(Edit(*dialog, id)->isReadOnly()) << id;
    }
    for (int id : {kIdBacklight, kIdDrive1, kIdTarget1}) {
        EXPECT_EQ(Edit(*dialog, id)->validator(), nullptr) << id;
    }
}

class SetDialogFilesTest : public SetDialogTest {
protected:
    QString Write(const QString& name, const std::vector<uint8_t>& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(SetDialogFilesTest, LogoOpenLoadsAtOnce) {
    app.logo.b_downloadLogo = 1;
    const QString good = Write("logo.bmp", korvane::testing::MakeBitmap16({}));
    chooser.answers.push_back({true, {good}});
    chooser.answers.push_back({true, {dir.filePath("missing.bmp")}});
    auto dialog = Open();
    Click(*dialog, kIdLogoOpen);
    EXPECT_EQ(chooser.filters.back(), "bitmap (*.bmp);;All Files(*.*)");
    EXPECT_EQ(app.logo.b_logoLoaded, 1);
    EXPECT_EQ(app.logo.logoWidth, 2);
    EXPECT_EQ(Edit(*dialog, kIdLogoPath)->text(), good);
    EXPECT_TRUE(sink.messages.empty());

    Click(*dialog, kIdLogoOpen);
    EXPECT_EQ(app.logo.b_logoLoaded, 0);
    EXPECT_EQ(app.logo.logoPath, dir.filePath("missing.bmp").toStdString());
    EXPECT_EQ(sink.messages, std::vector<std::string>{"logo文件加载失败，请重新选择！"});
    // The field keeps the last loaded logo; Cancel keeps what Open did.
    EXPECT_EQ(Edit(*dialog, kIdLogoPath)->text(), good);
    dialog->reject();
    EXPECT_EQ(app.logo.logoPath, dir.filePath("missing.bmp").toStdString());
}

TEST_F(SetDialogFilesTest, AmrOpenLoadsAtOnce) {
    app.audio.b_downloadAMR = 1;
    const QString good = Write("boot.amr", {1, 2, 3});
    chooser.answers.push_back({true, {good}});
    chooser.answers.push_back({true, {dir.filePath("gone.amr")}});
    auto dialog = Open();
    Click(*dialog, kIdAmrOpen);
    EXPECT_EQ(chooser.filters.back(), "AMR (*.amr);;All Files(*.*)");
    EXPECT_EQ(app.audio.b_amrLoaded, 1);
    EXPECT_EQ(app.audio.amrData, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Edit(*dialog, kIdAmrPath)->text(), good);

    Click(*dialog, kIdAmrOpen);
    EXPECT_EQ(app.audio.b_amrLoaded, 0);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"加载AMR文件失败，请重新选择！"});
}

TEST_F(SetDialogFilesTest, LocalPathOpenRebuildsTheFileSet) {
    app.fileSystem.fileSets[1].b_filePush = 1;
    ASSERT_TRUE(QDir(dir.path()).mkdir("set"));
    QTemporaryDir other;
    Write("set/a.txt", {1});
    Write("set/b.txt", {2, 3});
    ASSERT_TRUE(QDir(dir.filePath("set")).mkdir("sub"));
    chooser.answers.push_back({true, {dir.filePath("set")}});
    auto dialog = Open();
    Click(*dialog, kIdLocalOpen2);
    EXPECT_EQ(chooser.titles.back(), "请选择处理结果存储路径");
    EXPECT_EQ(Edit(*dialog, kIdLocal2)->text(), dir.filePath("set"));
    ASSERT_EQ(app.fileSystem.fileSets[1].fileList.size(), 2u);
    EXPECT_STREQ(app.fileSystem.fileSets[1].fileList[0].szName.data(), "a.txt");
    EXPECT_EQ(app.fileSystem.fileSets[1].fileList[1].pData, (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(app.fileSystem.fileSets[1].b_filesLoaded, 1);
    EXPECT_TRUE(sink.messages.empty());

    // A cancelled browser empties the path but keeps the field and the loaded set.
    Click(*dialog, kIdLocalOpen2);
    EXPECT_EQ(app.fileSystem.fileSets[1].filePath, "");
    EXPECT_EQ(Edit(*dialog, kIdLocal2)->text(), dir.filePath("set"));
    EXPECT_EQ(app.fileSystem.fileSets[1].fileList.size(), 2u);

    // An empty folder leaves the set empty and not loaded, without a message.
    chooser.answers.push_back({true, {other.path()}});
    Click(*dialog, kIdLocalOpen2);
    EXPECT_TRUE(app.fileSystem.fileSets[1].fileList.empty());
    EXPECT_EQ(app.fileSystem.fileSets[1].b_filesLoaded, 0);
    EXPECT_TRUE(sink.messages.empty());
}

}  // namespace
}  // namespace korvane
