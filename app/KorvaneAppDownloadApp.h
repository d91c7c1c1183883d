// The application object: configuration, loaded images and files, bound module entry
// points and the per-port sessions, held for the program's whole life.
//
// Thread safety: configuration and loaded data are written on the front end's thread
// before a run (start-up, settings) and only read by session threads during a run.
// b_running is atomic: the front end writes it, every wait of the engine reads it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/modules.h"

namespace korvane {

class IMessageSink;
class IPortView;
class ISessionEvents;
class SignatureCache;
struct _THREAD_PARA_T;

// One loaded file of a file set.
struct _tagDownloadImageData {
    uint32_t nSize = 0;
    std::array<char, 128> szName{};  // bare file name, zero-terminated, rest zero
    std::vector<uint8_t> pData;
};

// The eight RSA key texts of [DATABASE] and [Security], as 8-bit hex text.
struct RsaKeyTexts {
    std::string n, e, d, p, q, dp, dq, qp;
};

// The 28-byte header in front of the logo pixels.
using LogoHeader = std::array<uint8_t, 28>;

class CKorvaneAppDownloadApp {
public:
    CKorvaneAppDownloadApp();
    ~CKorvaneAppDownloadApp();
    CKorvaneAppDownloadApp(const CKorvaneAppDownloadApp&) = delete;
    CKorvaneAppDownloadApp& operator=(const CKorvaneAppDownloadApp&) = delete;

    // Start-up: true when complete; on a fatal problem its message (if any) has gone to
    // the sink. configDir holds the INI files and keyPair.bin; moduleDir the three modules.
    bool InitInstance(IMessageSink& sink, const std::string& configDir, const std::string& moduleDir);
    // Shut-down: frees what start-up loaded. Sessions must have been stopped before.
    int ExitInstance();

    // ---- configuration and loaded data, in declaration order ----
    std::vector<std::string> imagePaths;
    int imageCount = 0;
    std::string mainImageName;
    std::string secondImageName;
    std::vector<uint8_t> mainImage;
    std::vector<uint8_t> secondImage;
    int mainImageSize = 0;
    int secondImageSize = 0;
    int b_downloadApp = 0;
    int b_downloadLogo = 0;
    int b_fileDownload = 0;
    int b_downloadAMR = 0;
    int b_extPower = 0;
    int b_fsPart1Init = 0, b_fsPart2Init = 0;
    int b_filePush1 = 0, b_filePush2 = 0, b_filePush3 = 0;
    int fsPart1Address = 0, fsPart1Size = 0, fsPart2Address = 0, fsPart2Size = 0;
    int spiFlashSize = 0;
    std::string fsPart1Drive, fsPart2Drive;
    std::string targetPath1, filePath1, targetPath2, filePath2, targetPath3, filePath3;
    std::vector<std::string> fileNames1, fileNames2, fileNames3;
    std::vector<_tagDownloadImageData> fileList1, fileList2, fileList3;
    int b_appLoaded = 0;
    int b_runApp = 0, b_checkSP = 0, b_autoRun = 0;
    int b_filesLoaded1 = 0, b_filesLoaded2 = 0, b_filesLoaded3 = 0;
    int b_amrLoaded = 0;
    int b_fsConfig = 0, fsDMA = 0, fsType = 0, fsBaud = 0;
    int b_secureBoot = 0, b_useSignedData = 0;
    std::vector<uint8_t> amrData;
    int amrSize = 0;
    std::string amrPath;
    int b_logoLoaded = 0;
    std::string iniPath, signedDataIniPath, signToolIniPath;
    std::atomic<int> b_running{0};
    void* channelDll = nullptr;
    std::string logoPath;
    int logoLeft = 0, logoTop = 0, lcdType = 0, extPowerGPIO = 0, logoBacklight = 0;
    int logoWidth = 0, logoHeight = 0, logoDataSize = 0, logoBlockSize = 0;
    int extPowerGPIOPolarity = 0, lcdIOLevel = 0, lcdClock = 0;
    std::vector<uint8_t> logoPixels;
    std::vector<uint8_t> logoBlock;
    LogoHeader logoHeader{};
    std::array<uint8_t, 188> keyPairData{};
    SignFn pfnSign = nullptr;
    VerifyFn pfnVerify = nullptr;
    // Bulk-data signatures shared by all sessions; null: every session signs for itself.
    std::shared_ptr<SignatureCache> signatureCache;
    std::map<uint32_t, std::unique_ptr<_THREAD_PARA_T>> sessionMap;
    int b_checkTUSN = 0;
    std::array<char, 260> customerId{};
    std::array<char, 128> deviceType{};

    // ---- start-up results every session reads: the image list, the key set and the
    //      port binding table (members, not globals, so application objects stay apart) ----
    std::string urlA;                          // image-list address
    std::string mainImageUrl, secondImageUrl;  // from the image-list response
    RsaKeyTexts rsaKeys;
    std::array<std::string, 10> bindingPorts;  // port binding table
    int bindingCount = 0;                      // [COUNTS] AT

    // ---- bound module entry points ----
    CreateChannelFn pfnCreateChannel = nullptr;
    ReleaseChannelFn pfnReleaseChannel = nullptr;
    UtilityModule utility;

    // ---- where things are, and who hears about them ----
    std::string exeDir;     // configuration folder (the executable's, or --config-dir)
    std::string moduleDir;  // folder of the three modules
    IMessageSink* messageSink = nullptr;
    IPortView* portView = nullptr;  // the active view; set by the front end
    ISessionEvents* sessionEvents = nullptr;  // the sessions' record keepers; may be null
};

}  // namespace korvane
