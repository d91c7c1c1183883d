#include "app/configuration.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_values.h"
#include "app/ini_reader.h"
#include "app/message_sink.h"
#include "platform/file_path.h"
#include "platform/fixed_field.h"

namespace korvane {

namespace {

constexpr const char* kAppLoadInfo = "AppLoad Info";
constexpr const char* kSecurity = "Security";
constexpr size_t kModulusDigits = 512;  // a 2048-bit RSA modulus or exponent in hex

bool IsExponentLength(const std::string& text) { return text.size() == 5 || text.size() == 6; }

// An [AppLoad Info] key read into an int member of a group, as a switch or an integer.
enum KeyKind { kSwitch, kInteger };
template <typename Group>
struct IntegerKey {
    const char* key;
    int Group::*member;
    KeyKind kind;
};

template <typename Group, size_t N>
void ReadKeys(const IniReader& reader, const std::string& ini, const IntegerKey<Group> (&keys)[N], Group& group) {
    for (const IntegerKey<Group>& entry : keys) {
        group.*entry.member = entry.kind == kSwitch ? reader.Switch(ini, kAppLoadInfo, entry.key)
                                                    : reader.Integer(ini, kAppLoadInfo, entry.key);
    }
}

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
    app.images.urlA = reader.Text(kDevPathIni, "DATABASE", "URL_A");
    if (!ReadFirmwareKey(app, reader, sink)) {
        return false;
    }
    ReadKeyComponents(app, reader);
    return CheckClientPublicKey(app, reader, sink);
}

void ReadRunSwitches(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    using App = CKorvaneAppDownloadApp;
    const struct {
        const char* key;
        int& (*field)(App&);
    } switches[] = {
        {"AutoRunApp", [](App& a) -> int& { return a.b_autoRun; }},
        {"runApp", [](App& a) -> int& { return a.b_runApp; }},
        {"checkSP", [](App& a) -> int& { return a.b_checkSP; }},
        {"secureBoot", [](App& a) -> int& { return a.b_secureBoot; }},
        {"useSingedData", [](App& a) -> int& { return a.signing.b_useSignedData; }},
        {"DownloadApp", [](App& a) -> int& { return a.images.b_downloadApp; }},
    };
    for (const auto& entry : switches) {
        entry.field(app) = reader.Switch(app.iniPath, kAppLoadInfo, entry.key);
    }
}

bool ReadIdentityKeys(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    app.identity.b_checkTUSN = reader.Switch(kDevPathIni, "TUSN", "ISCHECK");
    if (!app.identity.b_checkTUSN) {
        return true;
    }
    return ReadIdentityKey(reader, "DEVICE_TYPE", "DEVICE_TYPE,配置错误，没有写DEVICE_TYPE值",
                           "DEVICE_TYPE, configuration error, the value is longer than 127 bytes", app.identity.deviceType,
                           sink) &&
           ReadIdentityKey(reader, "CUSOMTER_ID", "CUSOMTER_ID,配置错误，没有写CUSOMTER_ID值",
                           "CUSOMTER_ID, configuration error, the value is longer than 259 bytes", app.identity.customerId,
                           sink);
}

void ReadLogoSettings(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    constexpr IntegerKey<LogoSettings> kKeys[] = {
        {"PointLetf", &LogoSettings::logoLeft, kInteger},
        {"PointTop", &LogoSettings::logoTop, kInteger},
        {"LCDType", &LogoSettings::lcdType, kInteger},
        {"ExtPowerSwitchGPIOPolarity", &LogoSettings::extPowerGPIOPolarity, kInteger},
        {"LCDIOLevel", &LogoSettings::lcdIOLevel, kInteger},
        {"LCDClock", &LogoSettings::lcdClock, kInteger},
        {"ExtPower", &LogoSettings::b_extPower, kSwitch},
        {"ExtPowerSwitchGPIO", &LogoSettings::extPowerGPIO, kInteger},
        {"backLightLevel", &LogoSettings::logoBacklight, kInteger},
    };
    ReadKeys(reader, app.iniPath, kKeys, app.logo);
}

void ReadFileSystemSettings(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    const std::string& ini = app.iniPath;
    FileSystem& fs = app.fileSystem;
    for (size_t i = 0; i < fs.partitions.size(); ++i) {
        FsPartition& part = fs.partitions[i];
        const std::string prefix = "FileSystemPart" + std::to_string(i + 1);
        part.b_fsPartInit = reader.Switch(ini, kAppLoadInfo, (prefix + "Init").c_str());
        part.fsPartAddress = reader.Integer(ini, kAppLoadInfo, (prefix + "Address").c_str());
        part.fsPartSize = reader.Integer(ini, kAppLoadInfo, (prefix + "Size").c_str());
        part.fsPartDrive = reader.Text(ini, kAppLoadInfo, (prefix + "DriveLetter").c_str());
    }
    if (!fs.partitions[0].b_fsPartInit && !fs.partitions[1].b_fsPartInit) {
        sink.ShowMessage("Please reset the file system configuration");
    }
    for (size_t i = 0; i < fs.fileSets.size(); ++i) {
        FileSet& set = fs.fileSets[i];
        const std::string n = std::to_string(i + 1);
        set.targetPath = reader.Text(ini, kAppLoadInfo, ("TargePath" + n).c_str());
        // Local folders are named relative to the configuration folder, whatever the
        // current directory.
        set.filePath = app.exeDir + "/" + reader.Text(ini, kAppLoadInfo, ("FilePath" + n).c_str());
        set.b_filePush = reader.Switch(ini, kAppLoadInfo, ("FilePush" + n).c_str());
    }
    fs.spiFlashSize = reader.Integer(ini, kAppLoadInfo, "SPIFlashSize");
}

void ReadFormatSettings(CKorvaneAppDownloadApp& app, const IniReader& reader) {
    constexpr IntegerKey<FileSystem> kKeys[] = {
        {"FSConfig", &FileSystem::b_fsConfig, kSwitch},
        {"FSType", &FileSystem::fsType, kInteger},
        {"FSDMA", &FileSystem::fsDMA, kInteger},
        {"FSBaud", &FileSystem::fsBaud, kInteger},
    };
    ReadKeys(reader, app.iniPath, kKeys, app.fileSystem);
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
