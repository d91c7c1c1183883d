// Start-up ends at the first check that fails, with that check's message alone, and
// nothing after it runs.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/startup_harness.h"

namespace korvane::testing {
namespace {

// The start-up steps in their order, as far as a test can see them.
enum Step { kKeyPair, kChannel, kIniFiles, kUtility, kFirmwareKey, kClientKey, kServer };

struct FailureCase {
    const char* name;
    std::function<void(ConfigDir&, ModuleDir&)> arrange;
    Step failsAt;
    // {config} and {modules} stand for the two folders.
    std::vector<std::string> messages;
};

std::string Expand(std::string text, const std::string& config, const std::string& modules) {
    for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{config}", config}, {"{modules}", modules}}) {
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size())) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

std::vector<uint8_t> Bytes(size_t count) { return std::vector<uint8_t>(count, 0x5A); }

void SetEnable(ConfigDir& config, const std::optional<std::string>& value) { config.SetDevPath("SIGNEDDATATOOL", "enable", value); }

void SetClientKey(ConfigDir& config, const std::string& n, const std::string& e) {
    config.Set("SignTool.ini", "Security", "RSA_N", n);
    config.Set("SignTool.ini", "Security", "RSA_E", e);
}

const std::string kN(512, 'A');

const FailureCase kFailures[] = {
    {"keyPair.bin missing", [](ConfigDir& c, ModuleDir&) { c.Remove("keyPair.bin"); }, kKeyPair,
     {"Cannot open ({config}/keyPair.bin).\r\n"}},
    {"keyPair.bin is a folder",
     [](ConfigDir& c, ModuleDir&) {
         c.Remove("keyPair.bin");
         std::filesystem::create_directory(c.File("keyPair.bin"));
     },
     kKeyPair, {"Cannot open ({config}/keyPair.bin).\r\n"}},
    {"keyPair.bin 187 bytes", [](ConfigDir& c, ModuleDir&) { c.WriteBytes("keyPair.bin", Bytes(187)); }, kKeyPair,
     {"keyPair.bin length is error!"}},
    {"keyPair.bin 189 bytes", [](ConfigDir& c, ModuleDir&) { c.WriteBytes("keyPair.bin", Bytes(189)); }, kKeyPair,
     {"keyPair.bin length is error!"}},
    {"keyPair.bin empty", [](ConfigDir& c, ModuleDir&) { c.WriteBytes("keyPair.bin", {}); }, kKeyPair,
     {"keyPair.bin length is error!"}},
    {"keyPair.bin missing before everything else",
     [](ConfigDir& c, ModuleDir& m) {
         c.Remove("keyPair.bin");
         c.Remove("SignedData.ini");
         m.Remove("Ruduvar9.so");
     },
     kKeyPair, {"Cannot open ({config}/keyPair.bin).\r\n"}},
    {"channel module missing", [](ConfigDir&, ModuleDir& m) { m.Remove("Ruduvar9.so"); }, kChannel,
     {"Cannot load Channel DLL ({modules}/Ruduvar9.so).\r\n"}},
    {"channel module lacks ReleaseChannel",
     [](ConfigDir&, ModuleDir& m) { m.Link("Ruduvar9.so", kChannelWithoutRelease); }, kChannel,
     {"Cannot load Channel DLL ({modules}/Ruduvar9.so).\r\n"}},
    {"channel module is no shared object",
     [](ConfigDir& c, ModuleDir& m) {
         c.WriteText("not-a-module", "text");
         m.Link("Ruduvar9.so", c.File("not-a-module"));
     },
     kChannel, {"Cannot load Channel DLL ({modules}/Ruduvar9.so).\r\n"}},
    {"SignedData.ini missing", [](ConfigDir& c, ModuleDir&) { c.Remove("SignedData.ini"); }, kIniFiles,
     {"SignedData.ini file not found!"}},
    {"both INI files missing",
     [](ConfigDir& c, ModuleDir&) {
         c.Remove("SignedData.ini");
         c.Remove("KorvaneAppDownload.ini");
     },
     kIniFiles, {"SignedData.ini file not found!"}},
    {"KorvaneAppDownload.ini missing", [](ConfigDir& c, ModuleDir&) { c.Remove("KorvaneAppDownload.ini"); },
     kIniFiles, {"KorvaneAppDownload.ini file not found!"}},
    {"utility module missing", [](ConfigDir&, ModuleDir& m) { m.Remove("RERizu.so"); }, kUtility, {}},
    {"utility module lacks one entry point",
     [](ConfigDir&, ModuleDir& m) { m.Link("RERizu.so", kUtilityWithoutOneEntry); }, kUtility, {}},
    {"RSA_N 511 digits", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_N", std::string(511, 'A')); },
     kFirmwareKey, {"Firmware key N length is incorrect!"}},
    {"RSA_N 513 digits", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_N", std::string(513, 'A')); },
     kFirmwareKey, {"Firmware key N length is incorrect!"}},
    {"RSA_N far too long for the read buffer",
     [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_N", std::string(5000, 'A')); }, kFirmwareKey,
     {"Firmware key N length is incorrect!"}},
    {"RSA_N missing", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_N", std::nullopt); },
     kFirmwareKey, {"Firmware key N length is incorrect!"}},
    {"DevPath.ini missing", [](ConfigDir& c, ModuleDir&) { c.Remove("DevPath.ini"); }, kFirmwareKey,
     {"Firmware key N length is incorrect!"}},
    {"DevPath.ini binary", [](ConfigDir& c, ModuleDir&) { c.WriteBytes("DevPath.ini", {0, 0xFF, '[', 0, '=', 0xFE, '\n', 0x80}); },
     kFirmwareKey, {"Firmware key N length is incorrect!"}},
    {"RSA_E 3", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_E", "3"); }, kFirmwareKey,
     {"Firmware key E length is incorrect!"}},
    {"RSA_E 4 digits", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_E", "1001"); }, kFirmwareKey,
     {"Firmware key E length is incorrect!"}},
    {"RSA_E 7 digits", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_E", "0010001"); }, kFirmwareKey,
     {"Firmware key E length is incorrect!"}},
    {"RSA_D 511 digits", [](ConfigDir& c, ModuleDir&) { c.SetDevPath("DATABASE", "RSA_D", std::string(511, 'B')); },
     kFirmwareKey, {"Firmware key D length is incorrect!"}},
    {"N and E both wrong: N is checked first",
     [](ConfigDir& c, ModuleDir&) {
         c.SetDevPath("DATABASE", "RSA_N", "");
         c.SetDevPath("DATABASE", "RSA_E", "3");
     },
     kFirmwareKey, {"Firmware key N length is incorrect!"}},
    {"signing tool on, SignTool.ini missing",
     [](ConfigDir& c, ModuleDir&) {
         SetEnable(c, "1");
         c.Remove("SignTool.ini");
     },
     kClientKey, {"SignTool.ini file not found!"}},
    {"enable 01 is the integer 1",
     [](ConfigDir& c, ModuleDir&) {
         SetEnable(c, "01");
         c.Remove("SignTool.ini");
     },
     kClientKey, {"SignTool.ini file not found!"}},
    {"signing tool on, client N missing", [](ConfigDir& c, ModuleDir&) { SetEnable(c, "1"); }, kClientKey,
     {"Incorrect length of client public key N！"}},
    {"signing tool on, client N 500 digits",
     [](ConfigDir& c, ModuleDir&) {
         SetEnable(c, "1");
         SetClientKey(c, std::string(500, 'A'), "10001");
     },
     kClientKey, {"Incorrect length of client public key N！"}},
    {"signing tool on, client E 3",
     [](ConfigDir& c, ModuleDir&) {
         SetEnable(c, "1");
         SetClientKey(c, kN, "3");
     },
     kClientKey, {"Incorrect length of client public key E"}},
    {"download on, no image-list address", [](ConfigDir& c, ModuleDir&) { c.SetAppLoad("DownloadApp", "1"); },
     kServer, {"Server access failed, please contact the manufacturer"}},
    {"download on, nothing listens at the address",
     [](ConfigDir& c, ModuleDir&) {
         c.SetAppLoad("DownloadApp", "1");
         c.SetDevPath("DATABASE", "URL_A", "http://127.0.0.1:1/images");
     },
     kServer, {"Server access failed, please contact the manufacturer"}},
};

// The members each step fills stay empty when an earlier step failed.
void ExpectNothingAfter(const CKorvaneAppDownloadApp& app, Step failed) {
    const bool keyPairRead = std::any_of(app.signing.keyPairData.begin(), app.signing.keyPairData.end(), [](uint8_t b) { return b; });
    EXPECT_EQ(keyPairRead, failed > kKeyPair);
    if (failed <= kKeyPair) {
        EXPECT_EQ(app.pfnCreateChannel, nullptr);
    }
    if (failed <= kChannel) {
        EXPECT_EQ(app.signing.pfnSign, nullptr);
        EXPECT_TRUE(app.iniPath.empty());
    }
    if (failed <= kIniFiles) {
        EXPECT_EQ(app.utility.GetIniStringW, nullptr);
    }
    if (failed <= kUtility) {
        EXPECT_TRUE(app.rsaKeys.n.empty());
    }
    if (failed <= kFirmwareKey) {
        EXPECT_TRUE(app.rsaKeys.p.empty());
    }
    if (failed <= kClientKey) {
        EXPECT_EQ(app.b_runApp, 0);
    }
    EXPECT_EQ(app.bindingCount, 0);
}

TEST_F(StartupTest, FirstFailingCheckShowsItsMessageAloneAndEndsStartUp) {
    for (const FailureCase& c : kFailures) {
        SCOPED_TRACE(c.name);
        ConfigDir caseConfig;
        ModuleDir caseModules;
        // Read only after the checks: they show whether start-up went on after a failure.
        caseConfig.SetAppLoad("runApp", "1");
        caseConfig.SetDevPath("COUNTS", "AT", "1");
        c.arrange(caseConfig, caseModules);
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        EXPECT_FALSE(caseApp.InitInstance(sink, caseConfig.Path(), caseModules.Path()));
        std::vector<std::string> expected;
        for (const std::string& message : c.messages) {
            expected.push_back(Expand(message, caseConfig.Path(), caseModules.Path()));
        }
        EXPECT_EQ(sink.messages, expected);
        ExpectNothingAfter(caseApp, c.failsAt);
        caseApp.ExitInstance();
    }
}

TEST_F(StartupTest, ExponentsOfFiveAndSixDigitsAreAccepted) {
    for (const char* e : {"10001", "010001"}) {
        SCOPED_TRACE(e);
        config.SetDevPath("DATABASE", "RSA_E", e);
        SetEnable(config, "1");
        SetClientKey(config, kN, e);
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        EXPECT_TRUE(caseApp.InitInstance(sink, config.Path(), modules.Path()));
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(caseApp.rsaKeys.e, e);
    }
}

TEST_F(StartupTest, SigningToolOffNeedsNoSignToolIni) {
    config.Remove("SignTool.ini");
    for (const std::optional<std::string>& enable :
         {std::optional<std::string>("0"), std::optional<std::string>("2"), std::optional<std::string>("on"),
          std::optional<std::string>()}) {
        SCOPED_TRACE(enable.value_or("(missing)"));
        SetEnable(config, enable);
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        EXPECT_TRUE(caseApp.InitInstance(sink, config.Path(), modules.Path()));
        EXPECT_TRUE(sink.messages.empty());
    }
}

}  // namespace
}  // namespace korvane::testing
