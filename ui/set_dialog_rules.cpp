#include "ui/set_dialog_rules.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_values.h"
#include "app/message_sink.h"
#include "images/local_files.h"

namespace korvane {

namespace {

constexpr int64_t kFlashUnit = 1048576;  // sizes are in MiB
constexpr int64_t kAddressUnit = 4096;   // addresses are in 4 KiB sectors

// The name of a path: the text after its last separator, or all of it.
std::string BaseName(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsUpperLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

// Controls and messages of the two file sets that carry controls.
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

// Which controls each check box governs.
constexpr std::initializer_list<int> kAppControls{kIdAppOpen};
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

void EnableAll(ISetControls& controls, std::initializer_list<int> ids, bool on) {
    for (int id : ids) {
        controls.Enable(id, on);
    }
}

int Number(const ISetControls& controls, int id) {
    return ParseIniInteger(controls.Text(id));
}

void SetNumber(ISetControls& controls, int id, int value) {
    controls.SetText(id, std::to_string(value));
}

int Switch(const ISetControls& controls, int id) {
    return controls.Checked(id) ? 1 : 0;
}

bool Refuse(IMessageSink& sink, const char* message) {
    sink.ShowMessage(message);
    return false;
}

bool StoreLogo(CKorvaneAppDownloadApp& app, const ISetControls& controls, IMessageSink& sink) {
    app.logo.b_downloadLogo = Switch(controls, kIdLogo);
    if (app.logo.b_downloadLogo == 0) {
        return true;
    }
    if (app.logo.b_logoLoaded == 0) {
        return Refuse(sink, "logo文件未加载，请重新选择!");
    }
    const int lcd = controls.LcdSelection();
    if (lcd < 0 || lcd >= static_cast<int>(kLcdTypes.size())) {
        return Refuse(sink, "未选择LCD类型!");
    }
    app.logo.lcdType = lcd;
    app.logo.logoLeft = Number(controls, kIdLeft);
    app.logo.logoTop = Number(controls, kIdTop);
    app.logo.logoPath = controls.Text(kIdLogoPath);
    app.logo.logoBacklight = Number(controls, kIdBacklight);
    app.logo.extPowerGPIO = Number(controls, kIdGpio);
    app.logo.extPowerGPIOPolarity = Number(controls, kIdGpioLevel);
    app.logo.lcdIOLevel = Number(controls, kIdLcdIoLevel);
    app.logo.lcdClock = Number(controls, kIdLcdClock);
    app.logo.b_extPower = Switch(controls, kIdExtPower);
    app.logo.logoBlock.clear();
    BuildLogoBlock(app.logo);
    return true;
}

bool StorePartition(CKorvaneAppDownloadApp& app, const ISetControls& controls, IMessageSink& sink, int part) {
    const bool first = part == 1;
    const std::string drive = controls.Text(first ? kIdDrive1 : kIdDrive2);
    if (drive.size() != 1 || !IsUpperLetter(drive[0])) {
        return Refuse(sink, "Drive letter设置错误，仅支持一个大写英文字符");
    }
    FsPartition& partition = app.fileSystem.partitions[first ? 0 : 1];
    partition.fsPartDrive = drive;
    int& address = partition.fsPartAddress;
    int& size = partition.fsPartSize;
    address = Number(controls, first ? kIdAddr1 : kIdAddr2);
    size = Number(controls, first ? kIdSize1 : kIdSize2);
    // In 64 bits: a flash of 2048 MiB or more does not fit a 32-bit byte count.
    if (address * kAddressUnit + size * kFlashUnit > app.fileSystem.spiFlashSize * kFlashUnit) {
        return Refuse(sink, "配置错误");
    }
    return true;
}

bool StoreTargetPath(CKorvaneAppDownloadApp& app, const ISetControls& controls, IMessageSink& sink, int set) {
    const FileSetControls& ids = kFileSets[static_cast<size_t>(set - 1)];
    FileSet& files = app.fileSystem.fileSets[static_cast<size_t>(set - 1)];
    int& push = files.b_filePush;
    push = Switch(controls, ids.push);
    if (push == 0) {
        return true;
    }
    const std::string target = controls.Text(ids.target);
    if (target.empty() || !IsUpperLetter(target[0])) {
        return Refuse(sink, ids.noDrive);
    }
    if (target.size() < 2 || target[1] != ':') {
        return Refuse(sink, ids.noColon);
    }
    files.targetPath = target;
    const auto slashes = std::count(target.begin(), target.end(), '/');
    if (slashes > 1) {
        return Refuse(sink, ids.deepPath);
    }
    if (slashes == 0 && target.size() != 2) {
        return Refuse(sink, ids.rootForm);
    }
    std::string& local = files.filePath;
    local = controls.Text(ids.local);
    if (local.empty()) {
        return Refuse(sink, ids.noFiles);
    }
    return true;
}

bool StoreFileSystem(CKorvaneAppDownloadApp& app, const ISetControls& controls, IMessageSink& sink) {
    app.fileSystem.b_fileDownload = Switch(controls, kIdFile);
    if (app.fileSystem.b_fileDownload == 0) {
        return true;
    }
    app.fileSystem.spiFlashSize = Number(controls, kIdFlashSize);
    app.fileSystem.partitions[0].b_fsPartInit = Switch(controls, kIdPart1);
    app.fileSystem.partitions[1].b_fsPartInit = Switch(controls, kIdPart2);
    if (app.fileSystem.partitions[0].b_fsPartInit == 0 && app.fileSystem.partitions[1].b_fsPartInit == 0) {
        return Refuse(sink, "至少配置一个分区！");
    }
    if (app.fileSystem.partitions[0].b_fsPartInit != 0 && !StorePartition(app, controls, sink, 1)) {
        return false;
    }
    if (app.fileSystem.partitions[1].b_fsPartInit != 0 && !StorePartition(app, controls, sink, 2)) {
        return false;
    }
    if (app.fileSystem.partitions[0].b_fsPartInit != 0 && app.fileSystem.partitions[1].b_fsPartInit != 0) {
        if (app.fileSystem.partitions[0].fsPartDrive == app.fileSystem.partitions[1].fsPartDrive) {
            return Refuse(sink, "两个分区盘符不能相同");
        }
        if (app.fileSystem.partitions[0].fsPartAddress == app.fileSystem.partitions[1].fsPartAddress) {
            return Refuse(sink, "两个分区起始地址不能相同");
        }
        if (int64_t{app.fileSystem.partitions[0].fsPartSize} + app.fileSystem.partitions[1].fsPartSize > app.fileSystem.spiFlashSize) {
            return Refuse(sink, "配置错误");
        }
        const int64_t part1End = app.fileSystem.partitions[0].fsPartAddress * kAddressUnit + app.fileSystem.partitions[0].fsPartSize * kFlashUnit;
        if (part1End > app.fileSystem.partitions[1].fsPartAddress * kAddressUnit) {
            return Refuse(sink, "配置错误");
        }
    }
    return StoreTargetPath(app, controls, sink, 1) && StoreTargetPath(app, controls, sink, 2);
}

}  // namespace

std::string ImageNamesText(const std::vector<std::string>& imagePaths) {
    std::string text;
    for (const std::string& path : imagePaths) {
        text += BaseName(path) + ';';
    }
    return text;
}

void FillSetControls(const CKorvaneAppDownloadApp& app, ISetControls& controls) {
    controls.SetChecked(kIdApp, app.images.b_downloadApp != 0);
    EnableAll(controls, {kIdAppNames, kIdAppOpen}, app.images.b_downloadApp != 0);
    if (app.images.b_downloadApp != 0) {
        controls.SetText(kIdAppNames, ImageNamesText(app.imagePaths));
    }

    controls.SetChecked(kIdLogo, app.logo.b_downloadLogo != 0);
    EnableAll(controls, kLogoControls, app.logo.b_downloadLogo != 0);
    controls.SetLcdSelection(-1);
    if (app.logo.b_downloadLogo != 0) {
        controls.SetText(kIdLogoPath, app.logo.logoPath);
        controls.SetChecked(kIdExtPower, app.logo.b_extPower != 0);
        SetNumber(controls, kIdLeft, app.logo.logoLeft);
        SetNumber(controls, kIdTop, app.logo.logoTop);
        SetNumber(controls, kIdBacklight, app.logo.logoBacklight);
        if (app.logo.b_extPower != 0) {
            SetNumber(controls, kIdGpio, app.logo.extPowerGPIO);
            SetNumber(controls, kIdGpioLevel, app.logo.extPowerGPIOPolarity);
        }
        SetNumber(controls, kIdLcdIoLevel, app.logo.lcdIOLevel);
        SetNumber(controls, kIdLcdClock, app.logo.lcdClock);
        const bool known = app.logo.lcdType >= 0 && app.logo.lcdType < static_cast<int>(kLcdTypes.size());
        controls.SetLcdSelection(known ? app.logo.lcdType : -1);
    }

    controls.SetChecked(kIdFile, app.fileSystem.b_fileDownload != 0);
    EnableAll(controls, kFileControls, app.fileSystem.b_fileDownload != 0);
    if (app.fileSystem.b_fileDownload != 0) {
        controls.SetChecked(kIdPart1, app.fileSystem.partitions[0].b_fsPartInit != 0);
        controls.SetChecked(kIdPart2, app.fileSystem.partitions[1].b_fsPartInit != 0);
        SetNumber(controls, kIdFlashSize, app.fileSystem.spiFlashSize);
        EnableAll(controls, kPart1Controls, app.fileSystem.partitions[0].b_fsPartInit != 0);
        EnableAll(controls, kPart2Controls, app.fileSystem.partitions[1].b_fsPartInit != 0);
        if (app.fileSystem.partitions[0].b_fsPartInit != 0) {
            SetNumber(controls, kIdAddr1, app.fileSystem.partitions[0].fsPartAddress);
            SetNumber(controls, kIdSize1, app.fileSystem.partitions[0].fsPartSize);
            controls.SetText(kIdDrive1, app.fileSystem.partitions[0].fsPartDrive);
        }
        if (app.fileSystem.partitions[1].b_fsPartInit != 0) {
            SetNumber(controls, kIdAddr2, app.fileSystem.partitions[1].fsPartAddress);
            SetNumber(controls, kIdSize2, app.fileSystem.partitions[1].fsPartSize);
            controls.SetText(kIdDrive2, app.fileSystem.partitions[1].fsPartDrive);
        }
        controls.SetChecked(kIdPush1, app.fileSystem.fileSets[0].b_filePush != 0);
        controls.SetChecked(kIdPush2, app.fileSystem.fileSets[1].b_filePush != 0);
        EnableAll(controls, kPush1Controls, app.fileSystem.fileSets[0].b_filePush != 0);
        EnableAll(controls, kPush2Controls, app.fileSystem.fileSets[1].b_filePush != 0);
        if (app.fileSystem.fileSets[0].b_filePush != 0) {
            controls.SetText(kIdTarget1, app.fileSystem.fileSets[0].targetPath);
            controls.SetText(kIdLocal1, app.fileSystem.fileSets[0].filePath);
        }
        if (app.fileSystem.fileSets[1].b_filePush != 0) {
            controls.SetText(kIdTarget2, app.fileSystem.fileSets[1].targetPath);
            controls.SetText(kIdLocal2, app.fileSystem.fileSets[1].filePath);
        }
    }

    controls.SetChecked(kIdAmr, app.audio.b_downloadAMR != 0);
    EnableAll(controls, kAmrControls, app.audio.b_downloadAMR != 0);
    if (app.audio.b_downloadAMR != 0) {
        controls.SetText(kIdAmrPath, app.audio.amrPath);
    }

    controls.SetChecked(kIdRunApp, app.b_runApp != 0);
    controls.SetChecked(kIdAutoRun, app.b_autoRun != 0);
}

void OnSetCheckClicked(int id, ISetControls& controls) {
    const bool on = controls.Checked(id);
    switch (id) {
        case kIdApp: EnableAll(controls, kAppControls, on); break;
        case kIdLogo: EnableAll(controls, kLogoControls, on); break;
        case kIdFile: EnableAll(controls, kFileControls, on); break;
        case kIdPart1: EnableAll(controls, kPart1Controls, on); break;
        case kIdPart2: EnableAll(controls, kPart2Controls, on); break;
        case kIdPush1: EnableAll(controls, kPush1Controls, on); break;
        case kIdPush2: EnableAll(controls, kPush2Controls, on); break;
        case kIdAmr: EnableAll(controls, kAmrControls, on); break;
        default: break;
    }
}

void OnAppFilesChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, const std::vector<std::string>& paths) {
    app.imagePaths = paths;
    controls.SetText(kIdAppNames, ImageNamesText(app.imagePaths));
}

void OnLogoChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, IMessageSink& sink, const std::string& path) {
    app.logo.logoPixels.clear();
    app.logo.logoPath = path;
    if (LoadLogo(app.logo) == 1) {
        app.logo.b_logoLoaded = 1;
        controls.SetText(kIdLogoPath, path);
    } else {
        app.logo.b_logoLoaded = 0;
        sink.ShowMessage("logo文件加载失败，请重新选择！");
    }
}

void OnAmrChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, IMessageSink& sink, const std::string& path) {
    app.audio.amrData.clear();
    app.audio.amrPath = path;
    switch (LoadAmr(app.audio)) {
        case kAmrLoaded: controls.SetText(kIdAmrPath, path); break;
        case kAmrNoMemory: sink.ShowMessage(kAmrNoMemoryMessage); break;
        case kAmrUnreadable: sink.ShowMessage(kAmrLoadFailedMessage); break;
    }
}

void OnLocalFolderChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, int set, const std::string& folder) {
    app.fileSystem.fileSets[static_cast<size_t>(set - 1)].filePath = folder;
    if (folder.empty()) {
        return;
    }
    controls.SetText(kFileSets[static_cast<size_t>(set - 1)].local, folder);
    // Rebuilt from the new folder; files left out are not reported here, unlike at start-up.
    LoadFileSet(app.fileSystem.fileSets[static_cast<size_t>(set - 1)], set, {});
}

bool StoreSetFields(CKorvaneAppDownloadApp& app, const ISetControls& controls, IMessageSink& sink) {
    app.images.b_downloadApp = Switch(controls, kIdApp);
    if (app.images.b_downloadApp != 0 && app.imagePaths.empty()) {
        return Refuse(sink, "未选择APP!");
    }
    if (!StoreLogo(app, controls, sink) || !StoreFileSystem(app, controls, sink)) {
        return false;
    }
    app.audio.b_downloadAMR = Switch(controls, kIdAmr);
    if (app.audio.b_downloadAMR != 0 && app.audio.amrPath.empty()) {
        return Refuse(sink, "未选择amr文件!");
    }
    app.b_runApp = Switch(controls, kIdRunApp);
    app.b_autoRun = Switch(controls, kIdAutoRun);
    return true;
}

}  // namespace korvane
