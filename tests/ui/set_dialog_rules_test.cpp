// The "Download Set" dialog's rules over a fake set of controls: OK's checks in their
// order (one row per message), what OK stores and keeps, filling the controls, the
// enabling table and the Open buttons.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/temp_dir.h"
#include "ui/set_dialog_rules.h"

namespace korvane {
namespace {

using korvane::testing::RecordingMessageSink;

// Controls as plain values; every control starts unchecked, empty and enabled.
class FakeSetControls final : public ISetControls {
public:
    bool Checked(int id) const override { return checked.count(id) != 0 && checked.at(id); }
    void SetChecked(int id, bool on) override { checked[id] = on; }
    std::string Text(int id) const override { return texts.count(id) != 0 ? texts.at(id) : std::string(); }
    void SetText(int id, const std::string& text) override { texts[id] = text; }
    void Enable(int id, bool on) override { enabled[id] = on; }
    int LcdSelection() const override { return lcd; }
    void SetLcdSelection(int index) override { lcd = index; }

    bool Enabled(int id) const { return enabled.count(id) == 0 || enabled.at(id); }
    // A click on a check box: it flips, then the rules act.
    void Click(int id) {
        checked[id] = !Checked(id);
        OnSetCheckClicked(id, *this);
    }

    std::map<int, bool> checked;
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    int lcd = -1;
};

// One partition of the whole 16 MiB flash, nothing else to download.
void Baseline(CKorvaneAppDownloadApp& a) {
    a.fileSystem.b_fileDownload = 1;
    a.fileSystem.spiFlashSize = 16;
    a.fileSystem.partitions[0].b_fsPartInit = 1;
    a.fileSystem.partitions[0].fsPartAddress = 0;
    a.fileSystem.partitions[0].fsPartSize = 16;
    a.fileSystem.partitions[0].fsPartDrive = "C";
}

// Opens the dialog on `app` and presses OK: the one message shown, or "" when accepted.
std::string OpenAndPressOk(CKorvaneAppDownloadApp& app) {
    FakeSetControls controls;
    FillSetControls(app, controls);
    RecordingMessageSink sink;
    const bool accepted = StoreSetFields(app, controls, sink);
    EXPECT_EQ(sink.messages.size(), accepted ? 0u : 1u);
    return accepted ? "" : sink.messages.empty() ? "(no message)" : sink.messages.front();
}

TEST(SetDialogRules, OkChecksInOrderWithTheirMessages) {
    using App = CKorvaneAppDownloadApp;
    const auto twoParts = [](App& a) {
        a.fileSystem.partitions[0].fsPartSize = 8;
        a.fileSystem.partitions[1].b_fsPartInit = 1;
        a.fileSystem.partitions[1].fsPartAddress = 2048;
        a.fileSystem.partitions[1].fsPartSize = 8;
        a.fileSystem.partitions[1].fsPartDrive = "D";
    };
    const auto target = [](int set, const char* path, const char* local) {
        return [=](App& a) {
            (set == 1 ? a.fileSystem.fileSets[0].b_filePush : a.fileSystem.fileSets[1].b_filePush) = 1;
            (set == 1 ? a.fileSystem.fileSets[0].targetPath : a.fileSystem.fileSets[1].targetPath) = path;
            (set == 1 ? a.fileSystem.fileSets[0].filePath : a.fileSystem.fileSets[1].filePath) = local;
        };
    };
    const struct {
        const char* name;
        std::function<void(App&)> setUp;
        const char* message;  // "" when OK is accepted
    } cases[] = {
        {"one partition filling the flash", [](App&) {}, ""},
        {"App on without image files", [](App& a) { a.images.b_downloadApp = 1; }, "未选择APP!"},
        {"App on with image files",
         [](App& a) {
             a.images.b_downloadApp = 1;
             a.imagePaths = {"/images/MainApp.img"};
         },
         ""},
        {"App is checked before the file system",
         [](App& a) {
             a.images.b_downloadApp = 1;
             a.fileSystem.partitions[0].fsPartDrive = "c";
         },
         "未选择APP!"},
        {"Logo on without a loaded logo",
         [](App& a) {
             a.logo.b_downloadLogo = 1;
             a.logo.lcdType = 1;
         },
         "logo文件未加载，请重新选择!"},
        {"Logo on without a known LCD type",
         [](App& a) {
             a.logo.b_downloadLogo = a.logo.b_logoLoaded = 1;
             a.logo.lcdType = 5;
         },
         "未选择LCD类型!"},
        {"Logo on, loaded, with an LCD type",
         [](App& a) {
             a.logo.b_downloadLogo = a.logo.b_logoLoaded = 1;
             a.logo.lcdType = 4;
         },
         ""},
        {"neither partition", [](App& a) { a.fileSystem.partitions[0].b_fsPartInit = 0; }, "至少配置一个分区！"},
        {"drive letter in lower case", [](App& a) { a.fileSystem.partitions[0].fsPartDrive = "c"; }, "Drive letter设置错误，仅支持一个大写英文字符"},
        {"drive letter of two letters", [](App& a) { a.fileSystem.partitions[0].fsPartDrive = "CD"; }, "Drive letter设置错误，仅支持一个大写英文字符"},
        {"a letter that is not ASCII", [](App& a) { a.fileSystem.partitions[0].fsPartDrive = "Ä"; }, "Drive letter设置错误，仅支持一个大写英文字符"},
        {"partition one sector past the flash", [](App& a) { a.fileSystem.partitions[0].fsPartAddress = 1; }, "配置错误"},
        {"two partitions meeting exactly", twoParts, ""},
        {"partition 1 ending after partition 2 starts",
         [&](App& a) {
             twoParts(a);
             a.fileSystem.partitions[1].fsPartAddress = 2047;
         },
         "配置错误"},
        {"same drive letters",
         [&](App& a) {
             twoParts(a);
             a.fileSystem.partitions[1].fsPartDrive = "C";
         },
         "两个分区盘符不能相同"},
        {"same addresses",
         [&](App& a) {
             twoParts(a);
             a.fileSystem.partitions[1].fsPartAddress = 0;
             a.fileSystem.partitions[0].fsPartSize = a.fileSystem.partitions[1].fsPartSize = 1;
         },
         "两个分区起始地址不能相同"},
        {"sizes together beyond the flash",
         [&](App& a) {
             twoParts(a);
             a.fileSystem.partitions[0].fsPartSize = 9;
         },
         "配置错误"},
        // 4096 MiB counted in bytes does not fit 32 bits; the partition still fits.
        {"a 100 MiB partition on a 4096 MiB flash",
         [](App& a) {
             a.fileSystem.spiFlashSize = 4096;
             a.fileSystem.partitions[0].fsPartSize = 100;
         },
         ""},
        {"target D:", target(1, "D:", "/tmp"), ""},
        {"target D:/data", target(1, "D:/data", "/tmp"), ""},
        {"target d:/data", target(1, "d:/data", "/tmp"), "Target path 1配置错误，需指明盘符，且与两个分区中的盘符相同"},
        {"empty target", target(1, "", "/tmp"), "Target path 1配置错误，需指明盘符，且与两个分区中的盘符相同"},
        {"target D", target(1, "D", "/tmp"), "Target path 1配置错误，盘符后需要冒号"},
        {"target D:/a/b", target(1, "D:/a/b", "/tmp"), "Target path 1 配置错误，当前仅支持盘符一级路径"},
        {"target D:\\data", target(1, "D:\\data", "/tmp"), "Target path 1 配置错误，目标是跟目录时，请填写为对应盘符冒号"},
        {"target without local files", target(1, "D:", ""), "Target path 1 未选择待下载文件"},
        {"target 2 without a drive", target(2, "/x", "/tmp"), "Target path 2配置错误，需指明盘符，且与两个分区中的盘符相同"},
        {"target 2 without a colon", target(2, "E/", "/tmp"), "Target path 2配置错误，盘符后需要冒号"},
        {"target 2 too deep", target(2, "E:/x/y", "/tmp"), "Target path 2 配置错误，当前仅支持盘符一级路径"},
        {"target 2 root without colon form", target(2, "E:x", "/tmp"), "Target path 2 配置错误，目标是跟目录时，请填写为对应盘符冒号"},
        {"target 2 without local files", target(2, "E:", ""), "Target path 2 未选择待下载文件"},
        {"AMR on without a path", [](App& a) { a.audio.b_downloadAMR = 1; }, "未选择amr文件!"},
        {"AMR on with a path",
         [](App& a) {
             a.audio.b_downloadAMR = 1;
             a.audio.amrPath = "/sounds/boot.amr";
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        App app;
        Baseline(app);
        c.setUp(app);
        EXPECT_EQ(OpenAndPressOk(app), c.message);
    }
}

TEST(SetDialogRules, AcceptedOkStoresTheFields) {
    CKorvaneAppDownloadApp app;
    Baseline(app);
    app.logo.b_logoLoaded = 1;
    FakeSetControls controls;
    FillSetControls(app, controls);
    controls.Click(kIdLogo);
    controls.lcd = 3;
    controls.texts[kIdLeft] = "12";
    controls.texts[kIdBacklight] = " 7x";  // read by the INI number rule
    controls.texts[kIdLcdClock] = "48";
    controls.Click(kIdPart2);
    controls.texts[kIdFlashSize] = "32";
    controls.texts[kIdAddr2] = "4096";
    controls.texts[kIdSize2] = "8";
    controls.texts[kIdDrive2] = "E";
    controls.Click(kIdPush1);
    controls.texts[kIdTarget1] = "E:/music";
    controls.texts[kIdLocal1] = "/files";
    controls.Click(kIdAutoRun);
    RecordingMessageSink sink;
    ASSERT_TRUE(StoreSetFields(app, controls, sink)) << (sink.messages.empty() ? "" : sink.messages[0]);
    EXPECT_EQ(app.logo.b_downloadLogo, 1);
    EXPECT_EQ(app.logo.lcdType, 3);
    EXPECT_EQ(app.logo.logoLeft, 12);
    EXPECT_EQ(app.logo.logoTop, 0);
    EXPECT_EQ(app.logo.logoBacklight, 7);
    EXPECT_EQ(app.logo.lcdClock, 48);
    EXPECT_FALSE(app.logo.logoBlock.empty());
    EXPECT_EQ(app.fileSystem.spiFlashSize, 32);
    EXPECT_EQ(app.fileSystem.partitions[1].fsPartAddress, 4096);
    EXPECT_EQ(app.fileSystem.partitions[1].fsPartDrive, "E");
    EXPECT_EQ(app.fileSystem.fileSets[0].targetPath, "E:/music");
    EXPECT_EQ(app.fileSystem.fileSets[0].filePath, "/files");
    EXPECT_EQ(app.b_autoRun, 1);
    EXPECT_EQ(app.b_runApp, 0);
}

TEST(SetDialogRules, WhatARefusedOkStoredBeforeItsCheckStays) {
    CKorvaneAppDownloadApp app;
    Baseline(app);
    app.imagePaths = {"/images/MainApp.img"};
    FakeSetControls controls;
    FillSetControls(app, controls);
    controls.Click(kIdApp);
    controls.texts[kIdFlashSize] = "32";
    controls.texts[kIdDrive1] = "c";
    controls.Click(kIdAutoRun);
    RecordingMessageSink sink;
    EXPECT_FALSE(StoreSetFields(app, controls, sink));
    EXPECT_EQ(app.images.b_downloadApp, 1);
    EXPECT_EQ(app.fileSystem.spiFlashSize, 32);
    EXPECT_EQ(app.fileSystem.partitions[0].fsPartDrive, "C");  // the refused letter is not taken
    EXPECT_EQ(app.b_autoRun, 0);       // after the failing check: not reached
}

TEST(SetDialogRules, FillingShowsOnlyWhatIsSwitchedOn) {
    CKorvaneAppDownloadApp app;
    Baseline(app);
    app.fileSystem.partitions[1].fsPartDrive = "Q";
    app.logo.logoLeft = 99;
    app.audio.amrPath = "/a.amr";
    app.imagePaths = {"/x/App.img"};
    app.logo.lcdType = 2;
    FakeSetControls controls;
    FillSetControls(app, controls);
    EXPECT_EQ(controls.Text(kIdFlashSize), "16");
    EXPECT_EQ(controls.Text(kIdDrive1), "C");
    for (int id : {kIdDrive2, kIdLeft, kIdAmrPath, kIdAppNames}) {
        EXPECT_EQ(controls.Text(id), "") << id;
    }
    EXPECT_EQ(controls.lcd, -1);

    app.logo.b_downloadLogo = 1;
    app.images.b_downloadApp = 1;
    app.imagePaths = {"/data/MainApp.img", "C:\\data\\SecondApp.img"};
    FillSetControls(app, controls);
    EXPECT_EQ(controls.Text(kIdLeft), "99");
    EXPECT_EQ(controls.lcd, 2);
    EXPECT_EQ(controls.Text(kIdAppNames), "MainApp.img;SecondApp.img;");
}

TEST(SetDialogRules, CheckBoxesEnableTheirControls) {
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
        {kIdFile, {kIdPart1, kIdPart2, kIdFlashSize, kIdAddr1, kIdAddr2, kIdSize1, kIdSize2, kIdDrive1, kIdDrive2,
                   kIdPush1, kIdTarget1, kIdLocal1, kIdLocalOpen1, kIdPush2, kIdTarget2, kIdLocal2, kIdLocalOpen2}},
        // Boxes that govern nothing.
        {kIdExtPower, {}},
        {kIdRunApp, {}},
        {kIdAutoRun, {}},
    };
    for (const auto& rule : rules) {
        SCOPED_TRACE(rule.box);
        FakeSetControls controls;
        const std::set<int> governed(rule.controls.begin(), rule.controls.end());
        controls.Click(rule.box);
        controls.Click(rule.box);
        // Only the governed controls were touched, and the last click disabled them.
        for (const auto& [id, on] : controls.enabled) {
            EXPECT_TRUE(governed.count(id) != 0) << id;
            EXPECT_FALSE(on) << id;
        }
        EXPECT_EQ(controls.enabled.size(), governed.size());
        controls.Click(rule.box);
        for (int id : rule.controls) {
            EXPECT_TRUE(controls.Enabled(id)) << id;
        }
    }
}

TEST(SetDialogRules, OpeningEnablesEachGroupByItsSwitch) {
    CKorvaneAppDownloadApp app;
    Baseline(app);
    app.fileSystem.partitions[0].b_fsPartInit = 0;
    app.fileSystem.partitions[1].b_fsPartInit = 1;
    app.fileSystem.fileSets[1].b_filePush = 1;
    app.images.b_downloadApp = 1;
    FakeSetControls controls;
    FillSetControls(app, controls);
    const struct {
        int id;
        bool enabled;
    } cases[] = {{kIdAddr1, false},   {kIdAddr2, true},      {kIdTarget1, false}, {kIdTarget2, true},
                 {kIdAppNames, true}, {kIdLogoOpen, false}, {kIdAmrOpen, false}, {kIdFlashSize, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(controls.Enabled(c.id), c.enabled) << c.id;
    }
}

TEST(SetDialogRules, OpenButtonsTakeTheChoiceAtOnce) {
    CKorvaneAppDownloadApp app;
    FakeSetControls controls;
    RecordingMessageSink sink;

    OnAppFilesChosen(app, controls, {"/data/MainApp.img", "/data/SecondApp.img"});
    EXPECT_EQ(app.imagePaths.size(), 2u);
    EXPECT_EQ(controls.Text(kIdAppNames), "MainApp.img;SecondApp.img;");

    // A logo that cannot be loaded is told, and counts as not loaded.
    app.logo.b_logoLoaded = 1;
    OnLogoChosen(app, controls, sink, "/no/such/logo.bmp");
    EXPECT_EQ(sink.messages, std::vector<std::string>{"logo文件加载失败，请重新选择！"});
    EXPECT_EQ(app.logo.b_logoLoaded, 0);
    EXPECT_EQ(app.logo.logoPath, "/no/such/logo.bmp");
    EXPECT_EQ(controls.Text(kIdLogoPath), "");

    sink.messages.clear();
    OnAmrChosen(app, controls, sink, "/no/such/boot.amr");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(controls.Text(kIdAmrPath), "");

    // A cancelled folder picker clears the set's folder.
    app.fileSystem.fileSets[1].filePath = "/old";
    OnLocalFolderChosen(app, controls, 2, "");
    EXPECT_EQ(app.fileSystem.fileSets[1].filePath, "");
    korvane::testing::TempDir folder;
    OnLocalFolderChosen(app, controls, 1, folder.Path());
    EXPECT_EQ(app.fileSystem.fileSets[0].filePath, folder.Path());
    EXPECT_EQ(controls.Text(kIdLocal1), folder.Path());
}

}  // namespace
}  // namespace korvane
