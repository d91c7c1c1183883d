// The application object: configuration and loaded data in groups, and the bound module
// entry points, held for the program's whole life. Run control owns the sessions.
//
// Thread safety: configuration and loaded data are written on the front end's thread
// before a run (start-up, settings) and only read by session threads during a run.
// b_running is atomic: the front end writes it, every wait of the engine reads it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/rsa_key_texts.h"
#include "engine/identity_check.h"
#include "engine/signing_setup.h"
#include "images/local_files.h"
#include "images/logo_block.h"
#include "images/server_images.h"
#include "modules/channel/channel_abi.h"
#include "modules/utility/utility_module.h"

namespace korvane {

class IMessageSink;

class CKorvaneAppDownloadApp {
public:
    CKorvaneAppDownloadApp();
    ~CKorvaneAppDownloadApp();
    CKorvaneAppDownloadApp(const CKorvaneAppDownloadApp&) = delete;
    CKorvaneAppDownloadApp& operator=(const CKorvaneAppDownloadApp&) = delete;

    // Start-up: true when complete; on a fatal problem its message (if any) has gone to
    // the sink. configDir holds the INI files and keyPair.bin; moduleDir the three modules.
    bool InitInstance(IMessageSink& sink, const std::string& configDir, const std::string& moduleDir);
    // Shut-down: frees what start-up loaded. Run control must have stopped the sessions.
    int ExitInstance();

    // ---- what the terminals get, in groups ----
    LoadedImages images;
    LogoSettings logo;
    FileSystem fileSystem;
    AudioFile audio;
    // Final settings of each terminal.
    int b_autoRun = 0, b_runApp = 0, b_checkSP = 0, b_secureBoot = 0;
    IdentityCheck identity;
    SigningSetup signing;
    RsaKeyTexts rsaKeys;
    // Local image files the settings dialog lists.
    std::vector<std::string> imagePaths;

    // ---- the run ----
    std::atomic<int> b_running{0};
    std::array<std::string, 10> bindingPorts;  // port binding table
    int bindingCount = 0;                      // [COUNTS] AT

    // ---- bound modules ----
    CreateChannelFn pfnCreateChannel = nullptr;
    ReleaseChannelFn pfnReleaseChannel = nullptr;
    UtilityModule utility;

    // ---- where things are, and who hears about them ----
    std::string exeDir;     // configuration folder (the executable's, or --config-dir)
    std::string moduleDir;  // folder of the three modules
    std::string iniPath, signToolIniPath;
};

}  // namespace korvane
