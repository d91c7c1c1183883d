#include "app/configuration.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_values.h"
#include "app/fixed_field.h"
#include "app/ini_reader.h"
#include "app/message_sink.h"
#include "platform/file_path.h"

namespace korvane {

namespace {

constexpr const char* kAppLoadInfo = "AppLoad Info";
constexpr const char* kSecurity = "Security";
constexpr size_t kModulusDigits = 512;  // a 2048-bit RSA modulus or exponent in hex

bool IsExponentLength(const std::string& text) { return text.size() == 5 || text.size() == 6; }

// Shows the message and tells the caller to end start-up.
bool Refuse(IMessageSink& sink, const char* message) {
    sink.ShowMessage(message);
    return false;
}

bool ReadFirmwareKey(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    RsaKeyTexts& keys = app.rsaKeys;
    keys.n = reader.KeyText(kDevPathIni, "DATABASE", "RSA_N");
    if (keys.n.size() != kModulusDigits) {
        return Refuse(sink, "Firmware key N length is incorrect!");
    }
    keys.e = reader.KeyText(kDevPathIni, "DATABASE", "RSA_E");
    if (!IsExponentLength(keys.e)) {
        return Refuse(sink, "Firmware key E length is incorrect!");
    }
    keys.d = reader.KeyText(kDevPathIni, "DATABASE", "RSA_D");
    if (keys.d.size() != kModulusDigits) {
        return Refuse(sink, "Firmware key D length is incorrect!");
    }
    return true;
}

void ReadKeyComponents(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    RsaKeyTexts& keys = app.rsaKeys;
    keys.p = reader.KeyText(app.iniPath, kSecurity, "RSA_P");
    keys.q = reader.KeyText(app.iniPath, kSecurity, "RSA_Q");
    keys.dp = reader.KeyText(app.iniPath, kSecurity, "RSA_DP");
    keys.dq = reader.KeyText(app.iniPath, kSecurity, "RSA_DQ");
    keys.qp = reader.KeyText(app.iniPath, kSecurity, "RSA_QP");
}

// The client public key of the signing tool is only checked, never used.
bool CheckClientPublicKey(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    const std::string enable = reader.Read(kDevPathIni, "SIGNEDDATATOOL", "enable", u"0", kIniValueUnits);
    if (ParseIniInteger(enable) != 1) {
        return true;
    }
    std::error_code error;
    if (!std::filesystem::exists(PathFromUtf8(app.signToolIniPath), error)) {
        return Refuse(sink, "SignTool.ini file not found!");
    }
    if (reader.KeyText(app.signToolIniPath, kSecurity, "RSA_N").size() != kModulusDigits) {
        return Refuse(sink, "Incorrect length of client public key N！");
    }
    if (!IsExponentLength(reader.KeyText(app.signToolIniPath, kSecurity, "RSA_E"))) {
        return Refuse(sink, "Incorrect length of client public key E");
    }
    return true;
}

// An identity key that must not be empty and must fit its field with the terminator. The
// read takes one unit more than the field holds, so that a longer value is never cut down
// to a length that fits.
template <size_t N>
bool ReadIdentityKey(const IniReader& reader, const char* key, const char* emptyMessage,
                     const char* tooLongMessage, std::array<char, N>& field, IMessageSink& sink) {
    const std::string value = reader.Read(kDevPathIni, "TUSN", key, u"", static_cast<uint32_t>(N) + 1);
    if (value.empty()) {
        return Refuse(sink, emptyMessage);
    }
    if (!CopyToField(value, field)) {
        return Refuse(sink, tooLongMessage);
    }
    return true;
}

}  // namespace

bool ReadSecurityKeys(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    app.urlA = reader.Text(kDevPathIni, "DATABASE", "URL_A");
    if (!ReadFirmwareKey(app, reader, sink)) {
        return false;
    }
    ReadKeyComponents(app, reader);
    return CheckClientPublicKey(app, reader, sink);
}

void ReadRunSwitches(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    const std::string& ini = app.iniPath;
    app.b_autoRun = reader.Switch(ini, kAppLoadInfo, "AutoRunApp");
    app.b_runApp = reader.Switch(ini, kAppLoadInfo, "runApp");
    app.b_checkSP = reader.Switch(ini, kAppLoadInfo, "checkSP");
    app.b_secureBoot = reader.Switch(ini, kAppLoadInfo, "secureBoot");
    app.b_useSignedData = reader.Switch(ini, kAppLoadInfo, "useSingedData");
    app.b_downloadApp = reader.Switch(ini, kAppLoadInfo, "DownloadApp");
}

bool ReadIdentityKeys(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    app.b_checkTUSN = reader.Switch(kDevPathIni, "TUSN", "ISCHECK");
    if (!app.b_checkTUSN) {
        return true;
    }
    return ReadIdentityKey(reader, "DEVICE_TYPE", "DEVICE_TYPE,配置错误，没有写DEVICE_TYPE值",
                           "DEVICE_TYPE, configuration error, the value is longer than 127 bytes", app.deviceType,
                           sink) &&
           ReadIdentityKey(reader, "CUSOMTER_ID", "CUSOMTER_ID,配置错误，没有写CUSOMTER_ID值",
                           "CUSOMTER_ID, configuration error, the value is longer than 259 bytes", app.customerId,
                           sink);
}

void ReadLogoSettings(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    const std::string& ini = app.iniPath;
    app.logoLeft = reader.Integer(ini, kAppLoadInfo, "PointLetf");
    app.logoTop = reader.Integer(ini, kAppLoadInfo, "PointTop");
    app.lcdType = reader.Integer(ini, kAppLoadInfo, "LCDType");
    app.extPowerGPIOPolarity = reader.Integer(ini, kAppLoadInfo, "ExtPowerSwitchGPIOPolarity");
    app.lcdIOLevel = reader.Integer(ini, kAppLoadInfo, "LCDIOLevel");
    app.lcdClock = reader.Integer(ini, kAppLoadInfo, "LCDClock");
    app.b_extPower = reader.Switch(ini, kAppLoadInfo, "ExtPower");
    app.extPowerGPIO = reader.Integer(ini, kAppLoadInfo, "ExtPowerSwitchGPIO");
    app.logoBacklight = reader.Integer(ini, kAppLoadInfo, "backLightLevel");
}

void ReadFileSystemSettings(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    const std::string& ini = app.iniPath;
    app.b_fsPart1Init = reader.Switch(ini, kAppLoadInfo, "FileSystemPart1Init");
    app.b_fsPart2Init = reader.Switch(ini, kAppLoadInfo, "FileSystemPart2Init");
    if (!app.b_fsPart1Init && !app.b_fsPart2Init) {
        sink.ShowMessage("Please reset the file system configuration");
    }
    app.targetPath1 = reader.Text(ini, kAppLoadInfo, "TargePath1");
    app.targetPath2 = reader.Text(ini, kAppLoadInfo, "TargePath2");
    app.targetPath3 = reader.Text(ini, kAppLoadInfo, "TargePath3");
    // Local folders are named relative to the configuration folder, whatever the
    // current directory.
    app.filePath1 = app.exeDir + "/" + reader.Text(ini, kAppLoadInfo, "FilePath1");
    app.filePath2 = app.exeDir + "/" + reader.Text(ini, kAppLoadInfo, "FilePath2");
    app.filePath3 = app.exeDir + "/" + reader.Text(ini, kAppLoadInfo, "FilePath3");
    app.spiFlashSize = reader.Integer(ini, kAppLoadInfo, "SPIFlashSize");
    app.fsPart1Address = reader.Integer(ini, kAppLoadInfo, "FileSystemPart1Address");
    app.fsPart2Address = reader.Integer(ini, kAppLoadInfo, "FileSystemPart2Address");
    app.fsPart1Size = reader.Integer(ini, kAppLoadInfo, "FileSystemPart1Size");
    app.fsPart2Size = reader.Integer(ini, kAppLoadInfo, "FileSystemPart2Size");
    app.fsPart1Drive = reader.Text(ini, kAppLoadInfo, "FileSystemPart1DriveLetter");
    app.fsPart2Drive = reader.Text(ini, kAppLoadInfo, "FileSystemPart2DriveLetter");
    app.b_filePush1 = reader.Switch(ini, kAppLoadInfo, "FilePush1");
    app.b_filePush2 = reader.Switch(ini, kAppLoadInfo, "FilePush2");
    app.b_filePush3 = reader.Switch(ini, kAppLoadInfo, "FilePush3");
}

void ReadFormatSettings(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    const std::string& ini = app.iniPath;
    app.b_fsConfig = reader.Switch(ini, kAppLoadInfo, "FSConfig");
    app.fsType = reader.Integer(ini, kAppLoadInfo, "FSType");
    app.fsDMA = reader.Integer(ini, kAppLoadInfo, "FSDMA");
    app.fsBaud = reader.Integer(ini, kAppLoadInfo, "FSBaud");
}

void ReadBindingTable(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    // The table has ten slots: a larger count reads the first ten entries and a negative
    // one none, so no reader of the table can step past its end.
    app.bindingCount = std::clamp(reader.Integer(kDevPathIni, "COUNTS", "AT"), 0, kBindingSlots);
    for (int index = 0; index < app.bindingCount; ++index) {
        char key[16];
        std::snprintf(key, sizeof key, "%d", index);
        app.bindingPorts[static_cast<size_t>(index)] = reader.Text(kDevPathIni, kAppLoadInfo, key);
    }
}

}  // namespace korvane
