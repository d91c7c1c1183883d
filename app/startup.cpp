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
#include "engine/thread_para.h"
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
    switch (ReadKeyPairFile(path, app.keyPairData)) {
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
    app.signedDataIniPath = Utf8FromPath(folder / "SignedData.ini");
    app.signToolIniPath = Utf8FromPath(folder / "SignTool.ini");
    std::error_code error;
    if (!fs::exists(PathFromUtf8(app.signedDataIniPath), error)) {
        sink.ShowMessage("SignedData.ini file not found!");
        return false;
    }
    if (!fs::exists(PathFromUtf8(app.iniPath), error)) {
        sink.ShowMessage("KorvaneAppDownload.ini file not found!");
        return false;
    }
    return true;
}

void ClearLoadedState(CKorvaneAppDownloadApp& app) {
    app.keyPairData.fill(0);
    app.pfnSign = nullptr;
    app.signatureCache.reset();
    app.pfnVerify = nullptr;
    app.mainImage.clear();
    app.secondImage.clear();
    app.logoPixels.clear();
    app.logoBlock.clear();
    app.amrData.clear();
    app.b_fileDownload = 0;
    app.b_fsPart1Init = 0;
    app.b_fsPart2Init = 0;
    app.b_filePush1 = 0;
    app.b_filePush2 = 0;
    app.b_filePush3 = 0;
}

// Ends any session thread still present so that no thread reads what is freed next.
void EndRemainingSessions(CKorvaneAppDownloadApp& app) {
    app.b_running = 0;
    for (auto& [port, session] : app.sessionMap) {
        if (session) {
            session->bStop = true;
        }
    }
    for (auto& [port, session] : app.sessionMap) {
        if (session && session->pThread.joinable()) {
            session->pThread.join();
        }
    }
}

}  // namespace

bool CKorvaneAppDownloadApp::InitInstance(IMessageSink& sink, const std::string& configDir,
                                          const std::string& moduleFolder) {
    messageSink = &sink;
    ClearLoadedState(*this);
    exeDir = ConfigFolder(configDir);
    moduleDir = moduleFolder;
    // The channel module finds its port-number table in the configuration folder.
    SetProcessVariable(kConfigDirVariable, exeDir);

    if (!ReadKeyPair(*this, sink) || !BindModules(*this, sink) || !FindIniFiles(*this, sink)) {
        return false;
    }
    if (SharedSignaturesWanted()) {
        signatureCache = std::make_shared<SignatureCache>();
    }
    if (!BindUtilityModule(utility, exeDir, moduleDir)) {
        return false;
    }
    const IniReader reader(utility);
    if (!ReadSecurityKeys(*this, reader, sink)) {
        return false;
    }
    ReadRunSwitches(*this, reader);
    if (b_downloadApp && !LoadServerImagesAtStartup(*this, reader, sink)) {
        return false;
    }
    b_downloadLogo = reader.Switch(iniPath, "AppLoad Info", "DownloadLogo");
    if (b_downloadLogo) {
        LoadLogoAtStartup(*this, reader, sink);
    }
    b_fileDownload = reader.Switch(iniPath, "AppLoad Info", "FileDownload");
    if (b_fileDownload) {
        LoadFileSetsAtStartup(*this, reader, sink);
    }
    b_downloadAMR = reader.Switch(iniPath, "AppLoad Info", "DownloadAMR");
    if (b_downloadAMR) {
        LoadAmrAtStartup(*this, reader, sink);
    }
    ReadFormatSettings(*this, reader);
    ReadBindingTable(*this, reader);
    return true;
}

int CKorvaneAppDownloadApp::ExitInstance() {
    EndRemainingSessions(*this);
    signatureCache.reset();
    mainImage = {};
    secondImage = {};
    mainImageSize = 0;
    secondImageSize = 0;
    logoPixels = {};
    logoBlock = {};
    logoBlockSize = 0;
    amrData = {};
    amrSize = 0;
    for (auto* list : {&fileList1, &fileList2, &fileList3}) {
        list->clear();
        list->shrink_to_fit();
    }
    for (auto* names : {&fileNames1, &fileNames2, &fileNames3}) {
        names->clear();
    }
    return 0;
}

}  // namespace korvane
