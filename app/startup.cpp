// Start-up and shut-down of the application object.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/KorvaneAppDownloadApp.h"
#include "app/configuration.h"
#include "app/ini_reader.h"
#include "app/key_pair_file.h"
#include "app/message_sink.h"
#include "app/module_binding.h"
#include "app/process_env.h"
#include "app/startup_loads.h"
#include "engine/signature_cache.h"
#include "platform/dynlib.h"
#include "platform/file_path.h"

namespace korvane {

namespace {

namespace fs = std::filesystem;

// The configuration folder as an absolute path without a trailing separator: it stays
// valid after start-up makes it the current directory.
std::string ConfigFolder(const std::string& configDir) {
    std::error_code error;
    fs::path folder = fs::absolute(configDir.empty() ? fs::path(".") : PathFromUtf8(configDir), error);
    if (error) {
        folder = configDir;
    }
    folder = folder.lexically_normal();
    std::string text = Utf8FromPath(folder);
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool ReadKeyPair(CKorvaneAppDownloadApp& app, IMessageSink& sink) {
    const std::string path = Utf8FromPath(PathFromUtf8(app.exeDir) / kKeyPairFileName);
    switch (ReadKeyPairFile(path, app.signing.keyPairData)) {
        case KeyPairRead::kOk:
            return true;
        case KeyPairRead::kCannotOpen:
            sink.ShowMessage("Cannot open (" + path + ").\r\n");
            return false;
        case KeyPairRead::kBadLength:
            sink.ShowMessage("keyPair.bin length is error!");
            return false;
        case KeyPairRead::kShortRead:
            std::fputs("Failed to Read keyPair.bin!\r\n", stdout);
            std::fflush(stdout);
            sink.ShowMessage("Failed to Read keyPair.bin!");
            return false;
    }
    return false;
}

bool BindModules(CKorvaneAppDownloadApp& app, IMessageSink& sink) {
    const std::string channelPath = Utf8FromPath(PathFromUtf8(app.moduleDir) / ModuleFileName(kChannelModule));
    if (!BindChannelModule(app, channelPath)) {
        sink.ShowMessage("Cannot load Channel DLL (" + channelPath + ").\r\n");
        return false;
    }
    if (!BindSigningModule(app)) {
        sink.ShowMessage("generate_key_pair dll call fail\r\n");
        return false;
    }
    return true;
}

bool FindIniFiles(CKorvaneAppDownloadApp& app, IMessageSink& sink) {
    const fs::path folder = PathFromUtf8(app.exeDir);
    app.iniPath = Utf8FromPath(folder / "KorvaneAppDownload.ini");
    app.signing.signedDataIniPath = Utf8FromPath(folder / "SignedData.ini");
    app.signToolIniPath = Utf8FromPath(folder / "SignTool.ini");
    std::error_code error;
    if (!fs::exists(PathFromUtf8(app.signing.signedDataIniPath), error)) {
        sink.ShowMessage("SignedData.ini file not found!");
        return false;
    }
    if (!fs::exists(PathFromUtf8(app.iniPath), error)) {
        sink.ShowMessage("KorvaneAppDownload.ini file not found!");
        return false;
    }
    return true;
}

// What start-up reads and loads, back to how a new application object holds it: start-up
// begins with it, so nothing of an earlier start-up is left, and shut-down frees with it.
void ClearLoadedState(CKorvaneAppDownloadApp& app) {
    app.images = {};
    app.logo = {};
    app.fileSystem = {};
    app.audio = {};
    app.b_autoRun = app.b_runApp = app.b_checkSP = app.b_secureBoot = 0;
    app.identity = {};
    app.signing = {};
    app.signing.utility = &app.utility;
    app.rsaKeys = {};
}

}  // namespace

bool CKorvaneAppDownloadApp::InitInstance(IMessageSink& sink, const std::string& configDir,
                                          const std::string& moduleFolder) {
    ClearLoadedState(*this);
    exeDir = ConfigFolder(configDir);
    moduleDir = moduleFolder;
    // The channel module finds its port-number table in the configuration folder.
    SetProcessVariable(kConfigDirVariable, exeDir);

    if (!ReadKeyPair(*this, sink) || !BindModules(*this, sink) || !FindIniFiles(*this, sink)) {
        return false;
    }
    if (SharedSignaturesWanted()) {
        signing.signatureCache = std::make_shared<SignatureCache>();
    }
    if (!BindUtilityModule(utility, exeDir, moduleDir)) {
        return false;
    }
    const IniReader reader(utility);
    if (!ReadSecurityKeys(*this, reader, sink)) {
        return false;
    }
    ReadRunSwitches(*this, reader);
    if (images.b_downloadApp && !LoadServerImagesAtStartup(*this, reader, sink)) {
        return false;
    }
    logo.b_downloadLogo = reader.Switch(iniPath, "AppLoad Info", "DownloadLogo");
    if (logo.b_downloadLogo) {
        LoadLogoAtStartup(*this, reader, sink);
    }
    fileSystem.b_fileDownload = reader.Switch(iniPath, "AppLoad Info", "FileDownload");
    if (fileSystem.b_fileDownload) {
        LoadFileSetsAtStartup(*this, reader, sink);
    }
    audio.b_downloadAMR = reader.Switch(iniPath, "AppLoad Info", "DownloadAMR");
    if (audio.b_downloadAMR) {
        LoadAmrAtStartup(*this, reader, sink);
    }
    ReadFormatSettings(*this, reader);
    ReadBindingTable(*this, reader);
    return true;
}

int CKorvaneAppDownloadApp::ExitInstance() {
    b_running = 0;
    ClearLoadedState(*this);
    return 0;
}

}  // namespace korvane
