// What a start-up that completes holds: paths, modules, keys and every configuration value,
// read by the value rules from the configuration folder whatever the current directory.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/startup_harness.h"
#include "tests/fixtures/bitmap16.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(StartupTest, CleanStartHoldsPathsModulesAndKeys) {
    const StartupRun run = Start();
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.messages.empty());

    EXPECT_EQ(app.exeDir, config.Path());
    EXPECT_EQ(app.iniPath, config.File("KorvaneAppDownload.ini"));
    EXPECT_EQ(app.signing.signedDataIniPath, config.File("SignedData.ini"));
    EXPECT_EQ(app.signToolIniPath, config.File("SignTool.ini"));
    const std::vector<uint8_t> keyPair = ReadFile(config.File("keyPair.bin"));
    EXPECT_EQ(std::vector<uint8_t>(app.signing.keyPairData.begin(), app.signing.keyPairData.end()), keyPair);

    EXPECT_NE(app.pfnCreateChannel, nullptr);
    EXPECT_NE(app.pfnReleaseChannel, nullptr);
    EXPECT_NE(app.signing.pfnSign, nullptr);
#define KORVANE_EXPECT_BOUND(name) EXPECT_NE(app.utility.name, nullptr) << #name;
    RERIZU_ENTRY_POINTS(KORVANE_EXPECT_BOUND)
#undef KORVANE_EXPECT_BOUND

    const RsaKeyTexts placeholder = PlaceholderRsaKeys();
    EXPECT_EQ(app.rsaKeys.n, placeholder.n);
    EXPECT_EQ(app.rsaKeys.e, placeholder.e);
    EXPECT_EQ(app.rsaKeys.d, placeholder.d);
    EXPECT_EQ(app.rsaKeys.p, placeholder.p);
    EXPECT_EQ(app.rsaKeys.qp, placeholder.qp);

    // The channel module finds its port-number table in the configuration folder, and
    // "./DevPath.ini" names the file there.
    ASSERT_NE(std::getenv("KORVANE_CONFIG_DIR"), nullptr);
    EXPECT_EQ(std::string(std::getenv("KORVANE_CONFIG_DIR")), config.Path());
    EXPECT_EQ(fs::current_path(), fs::path(config.Path()));
}

// Sessions share bulk-data signatures unless the environment turns it off with exactly "0";
// shut-down lets go of them.
TEST_F(StartupTest, SharedSignaturesAreOnUnlessTheEnvironmentSaysZero) {
    const char* saved = std::getenv("KORVANE_SHARED_SIGNATURES");
    const std::string saved_value = saved != nullptr ? saved : "";
    const struct {
        const char* value;  // null: not set
        bool shared;
    } cases[] = {{nullptr, true}, {"1", true}, {"", true}, {"00", true}, {"0", false}};
    for (const auto& c : cases) {
        const std::string name = c.value != nullptr ? std::string("\"") + c.value + "\"" : "not set";
        if (c.value != nullptr) {
            setenv("KORVANE_SHARED_SIGNATURES", c.value, 1);
        } else {
            unsetenv("KORVANE_SHARED_SIGNATURES");
        }
        ASSERT_TRUE(Start().started) << name;
        EXPECT_EQ(app.signing.signatureCache != nullptr, c.shared) << name;
        app.ExitInstance();
        EXPECT_EQ(app.signing.signatureCache, nullptr) << name;
    }
    if (saved != nullptr) {
        setenv("KORVANE_SHARED_SIGNATURES", saved_value.c_str(), 1);
    } else {
        unsetenv("KORVANE_SHARED_SIGNATURES");
    }
}

TEST_F(StartupTest, RunSwitchesAreOnOnlyForExactlyOne) {
    using App = CKorvaneAppDownloadApp;
    struct Case {
        const char* key;
        int (*member)(const App&);
    };
    const Case switches[] = {
        {"AutoRunApp", [](const App& a) { return a.b_autoRun; }},
        {"runApp", [](const App& a) { return a.b_runApp; }},
        {"checkSP", [](const App& a) { return a.b_checkSP; }},
        {"secureBoot", [](const App& a) { return a.b_secureBoot; }},
        {"useSingedData", [](const App& a) { return a.signing.b_useSignedData; }},
    };
    const struct {
        const char* value;
        int expected;
    } values[] = {{"1", 1}, {"true", 0}, {"01", 0}, {"0", 0}, {"", 0}, {"2", 0}};
    for (const auto& v : values) {
        for (const Case& s : switches) {
            config.SetAppLoad(s.key, v.value);
        }
        // DownloadApp follows the same rule: with it off no server is asked.
        config.SetAppLoad("DownloadApp", v.value);
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        const bool started = caseApp.InitInstance(sink, config.Path(), modules.Path());
        for (const Case& s : switches) {
            EXPECT_EQ(s.member(caseApp), v.expected) << s.key << "=" << v.value;
        }
        EXPECT_EQ(caseApp.images.b_downloadApp, v.expected) << v.value;
        if (v.expected == 0) {
            EXPECT_TRUE(started) << v.value;
            EXPECT_TRUE(sink.messages.empty()) << v.value;
        }
    }
}

// Another folder, made current before start-up, holds a DevPath.ini that would fail the
// key check and a data folder of its own; neither may be used.
TEST_F(StartupTest, ConfigurationFolderIsUsedWhateverTheCurrentDirectory) {
    TempDir elsewhere;
    WriteText(elsewhere.File("DevPath.ini"), "[DATABASE]\nRSA_N=short\n");
    WriteText(elsewhere.File("data/decoy.bin"), "decoy");
    WriteText(config.File("data/payload.bin"), "payload");
    config.SetAppLoad("FileDownload", "1");
    config.SetAppLoad("FileSystemPart1Init", "1");
    config.SetAppLoad("FilePush1", "1");
    config.SetAppLoad("FilePath1", "data");
    fs::current_path(elsewhere.Path());

    const StartupRun run = Start();
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(app.fileSystem.fileSets[0].filePath, config.Path() + "/data");
    ASSERT_EQ(app.fileSystem.fileSets[0].fileList.size(), 1u);
    EXPECT_STREQ(app.fileSystem.fileSets[0].fileList[0].szName.data(), "payload.bin");
}

TEST_F(StartupTest, RelativeConfigurationFolderStaysValidAfterStartUp) {
    config.SetAppLoad("FileDownload", "1");
    config.SetAppLoad("FileSystemPart1Init", "1");
    config.SetAppLoad("FilePush1", "1");
    config.SetAppLoad("FilePath1", "data");
    WriteText(config.File("data/payload.bin"), "payload");
    fs::current_path(fs::path(config.Path()).parent_path());

    const StartupRun run = StartIn(fs::path(config.Path()).filename().string());
    ASSERT_TRUE(run.started);
    EXPECT_EQ(app.exeDir, config.Path());
    EXPECT_EQ(app.signing.signedDataIniPath, config.File("SignedData.ini"));
    EXPECT_EQ(app.fileSystem.fileSets[0].fileList.size(), 1u);
}

TEST_F(StartupTest, EmptyFilePathListsTheConfigurationFolderItself) {
    config.SetAppLoad("FileDownload", "1");
    config.SetAppLoad("FileSystemPart2Init", "1");
    config.SetAppLoad("FilePush1", "1");
    config.SetAppLoad("FilePath1", "");
    ASSERT_TRUE(Start().started);
    std::vector<std::string> names;
    for (const _tagDownloadImageData& record : app.fileSystem.fileSets[0].fileList) {
        names.emplace_back(record.szName.data());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"DevPath.ini", "KorvaneAppDownload.ini", "SignTool.ini",
                                               "SignedData.ini", "keyPair.bin"}));
    EXPECT_EQ(app.fileSystem.fileSets[0].b_filesLoaded, 1);
}

TEST_F(StartupTest, FileSystemKeysAreReadOnlyWhenFileDownloadIsOn) {
    const std::pair<const char*, const char*> keys[] = {
        {"FileSystemPart1Init", "1"},   {"FileSystemPart2Init", "0"},   {"TargePath1", "C:"},
        {"TargePath2", "D:/fonts"},     {"TargePath3", "C:/audio"},     {"FilePath1", "one"},
        {"FilePath2", "two"},           {"FilePath3", "three"},         {"SPIFlashSize", "16"},
        {"FileSystemPart1Address", "512"}, {"FileSystemPart2Address", "-4"}, {"FileSystemPart1Size", "2"},
        {"FileSystemPart2Size", "3"},   {"FileSystemPart1DriveLetter", "C"}, {"FileSystemPart2DriveLetter", "D"},
        {"FilePush1", "0"},             {"FilePush2", "1"},             {"FilePush3", "true"},
    };
    for (const auto& [key, value] : keys) {
        config.SetAppLoad(key, value);
    }
    ASSERT_TRUE(Start().started);
    EXPECT_EQ(app.fileSystem.b_fileDownload, 0);
    EXPECT_EQ(app.fileSystem.partitions[0].b_fsPartInit, 0);
    EXPECT_EQ(app.fileSystem.spiFlashSize, 0);
    EXPECT_TRUE(app.fileSystem.fileSets[0].filePath.empty());
    EXPECT_EQ(app.fileSystem.fileSets[1].b_filePush, 0);

    config.SetAppLoad("FileDownload", "1");
    CKorvaneAppDownloadApp on;
    RecordingMessageSink sink;
    ASSERT_TRUE(on.InitInstance(sink, config.Path(), modules.Path()));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(on.fileSystem.b_fileDownload, 1);
    EXPECT_EQ(on.fileSystem.partitions[0].b_fsPartInit, 1);
    EXPECT_EQ(on.fileSystem.partitions[1].b_fsPartInit, 0);
    EXPECT_EQ(on.fileSystem.fileSets[0].targetPath, "C:");
    EXPECT_EQ(on.fileSystem.fileSets[1].targetPath, "D:/fonts");
    EXPECT_EQ(on.fileSystem.fileSets[2].targetPath, "C:/audio");
    EXPECT_EQ(on.fileSystem.fileSets[0].filePath, config.Path() + "/one");
    EXPECT_EQ(on.fileSystem.fileSets[1].filePath, config.Path() + "/two");
    EXPECT_EQ(on.fileSystem.fileSets[2].filePath, config.Path() + "/three");
    EXPECT_EQ(on.fileSystem.spiFlashSize, 16);
    EXPECT_EQ(on.fileSystem.partitions[0].fsPartAddress, 512);
    EXPECT_EQ(on.fileSystem.partitions[1].fsPartAddress, -4);
    EXPECT_EQ(on.fileSystem.partitions[0].fsPartSize, 2);
    EXPECT_EQ(on.fileSystem.partitions[1].fsPartSize, 3);
    EXPECT_EQ(on.fileSystem.partitions[0].fsPartDrive, "C");
    EXPECT_EQ(on.fileSystem.partitions[1].fsPartDrive, "D");
    EXPECT_EQ(on.fileSystem.fileSets[0].b_filePush, 0);
    EXPECT_EQ(on.fileSystem.fileSets[1].b_filePush, 1);
    EXPECT_EQ(on.fileSystem.fileSets[2].b_filePush, 0);
    // Set 2 is pushed but its folder does not exist: nothing loads, nothing is reported.
    EXPECT_EQ(on.fileSystem.fileSets[1].b_filesLoaded, 0);
}

TEST_F(StartupTest, FileDownloadWithoutPartitionsWarnsAndGoesOn) {
    config.SetAppLoad("FileDownload", "1");
    const StartupRun run = Start();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.messages, std::vector<std::string>{"Please reset the file system configuration"});
    config.SetAppLoad("FileSystemPart2Init", "1");
    EXPECT_TRUE(StartIn(config.Path()).messages.empty());
}

TEST_F(StartupTest, FileThatCannotBeLoadedIsReportedPerSetAndStartUpGoesOn) {
    config.SetAppLoad("FileDownload", "1");
    config.SetAppLoad("FileSystemPart1Init", "1");
    const std::string longName(130, 'n');
    for (int set = 1; set <= 3; ++set) {
        const std::string n = std::to_string(set);
        config.SetAppLoad("FilePush" + n, "1");
        config.SetAppLoad("FilePath" + n, "set" + n);
        WriteText(config.File("set" + n + "/a.bin"), "loads");  // sorts before the long name
        if (set != 1) {
            WriteText(config.File("set" + n + "/" + longName), "name too long for the record");
        }
    }
    const StartupRun run = Start();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.messages, (std::vector<std::string>{"文件系统待下载文件(2)加载错误，请重新选择！",
                                                      "文件系统待下载文件(1)加载错误，请重新选择！"}));
    EXPECT_EQ(app.fileSystem.fileSets[0].fileList.size(), 1u);
    EXPECT_EQ(app.fileSystem.fileSets[1].fileList.size(), 1u);
    EXPECT_EQ(app.fileSystem.fileSets[2].fileList.size(), 1u);
    EXPECT_EQ(app.fileSystem.fileSets[0].b_filesLoaded, 1);
    EXPECT_EQ(app.fileSystem.fileSets[1].b_filesLoaded, 0);  // the refused file came last
    EXPECT_EQ(app.fileSystem.fileSets[2].b_filesLoaded, 0);
}

TEST_F(StartupTest, LogoKeysAreReadAndTheBlockBuiltWhenDownloadLogoIsOn) {
    WriteFile(config.File("logo.bmp"), MakeBitmap16({.width = 2, .height = 2}));
    const std::pair<const char*, const char*> keys[] = {
        {"LogoPath", "logo.bmp"},   {"PointLetf", "5"},  {"PointLeft", "99"}, {"PointTop", "6"},
        {"LCDType", "2"},           {"ExtPowerSwitchGPIOPolarity", "1"},     {"LCDIOLevel", "18"},
        {"LCDClock", "40"},         {"ExtPower", "1"},   {"ExtPowerSwitchGPIO", "12"}, {"backLightLevel", "7"},
    };
    for (const auto& [key, value] : keys) {
        config.SetAppLoad(key, value);
    }
    ASSERT_TRUE(Start().started);
    EXPECT_EQ(app.logo.b_downloadLogo, 0);
    EXPECT_EQ(app.logo.logoLeft, 0);
    EXPECT_TRUE(app.logo.logoBlock.empty());

    config.SetAppLoad("DownloadLogo", "1");
    CKorvaneAppDownloadApp on;
    RecordingMessageSink sink;
    ASSERT_TRUE(on.InitInstance(sink, config.Path(), modules.Path()));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(on.logo.b_logoLoaded, 1);
    EXPECT_EQ(on.logo.logoLeft, 5);  // from PointLetf, spelled so
    EXPECT_EQ(on.logo.logoTop, 6);
    EXPECT_EQ(on.logo.lcdType, 2);
    EXPECT_EQ(on.logo.extPowerGPIOPolarity, 1);
    EXPECT_EQ(on.logo.lcdIOLevel, 18);
    EXPECT_EQ(on.logo.lcdClock, 40);
    EXPECT_EQ(on.logo.b_extPower, 1);
    EXPECT_EQ(on.logo.extPowerGPIO, 12);
    EXPECT_EQ(on.logo.logoBacklight, 7);
    ASSERT_EQ(on.logo.logoBlockSize, 36);
    EXPECT_EQ(on.logo.logoBlock[4], 5);
    EXPECT_EQ(on.logo.logoBlock[22], 12);
}

TEST_F(StartupTest, LogoThatCannotBeLoadedIsReportedAndLeavesTheHeaderAlone) {
    config.SetAppLoad("DownloadLogo", "1");
    config.SetAppLoad("LogoPath", "missing.bmp");
    config.SetAppLoad("PointTop", "3");
    const StartupRun run = Start();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.messages, std::vector<std::string>{"Please re-select the logo file!"});
    EXPECT_EQ(app.logo.b_logoLoaded, 0);
    EXPECT_EQ(app.logo.logoTop, 3);  // the keys after LogoPath are still read
    EXPECT_EQ(app.logo.logoBlockSize, 28);
}

TEST_F(StartupTest, AudioFileIsLoadedOrReported) {
    config.SetAppLoad("DownloadAMR", "1");
    config.SetAppLoad("AMRPath", "voice.amr");
    StartupRun run = Start();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.messages, std::vector<std::string>{"加载AMR文件失败，请重新选择！"});
    EXPECT_EQ(app.audio.b_amrLoaded, 0);

    WriteText(config.File("voice.amr"), "#!AMR\n");
    CKorvaneAppDownloadApp loaded;
    RecordingMessageSink sink;
    ASSERT_TRUE(loaded.InitInstance(sink, config.Path(), modules.Path()));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(loaded.audio.b_amrLoaded, 1);
    EXPECT_EQ(loaded.audio.amrSize, 6);
    EXPECT_EQ(loaded.audio.amrPath, "voice.amr");
}

TEST_F(StartupTest, FormatKeysAreAlwaysRead) {
    config.SetAppLoad("FSConfig", "1");
    config.SetAppLoad("FSType", "2");
    config.SetAppLoad("FSDMA", "-3");
    config.SetAppLoad("FSBaud", "115200 baud");
    ASSERT_TRUE(Start().started);
    EXPECT_EQ(app.fileSystem.b_fsConfig, 1);
    EXPECT_EQ(app.fileSystem.fsType, 2);
    EXPECT_EQ(app.fileSystem.fsDMA, -3);
    EXPECT_EQ(app.fileSystem.fsBaud, 115200);
}

TEST_F(StartupTest, BindingTableHoldsAtMostTenEntries) {
    struct Case {
        const char* name;
        std::optional<std::string> at;
        int entries;  // keys "0" .. entries-1 are written as COM(10 + index)
        int expectedCount;
    };
    const Case cases[] = {
        {"two", "2", 2, 2},
        {"count above the entries", "3", 1, 3},
        {"ten", "10", 10, 10},
        {"twelve: beyond the tenth ignored", "12", 12, 10},
        {"huge", "2147483647", 12, 10},
        {"negative", "-1", 2, 0},
        {"letters", "abc", 2, 0},
        {"missing", std::nullopt, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigDir caseConfig;
        caseConfig.SetDevPath("COUNTS", "AT", c.at);
        for (int i = 0; i < c.entries; ++i) {
            caseConfig.SetDevPath("AppLoad Info", std::to_string(i), "COM" + std::to_string(10 + i));
        }
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        ASSERT_TRUE(caseApp.InitInstance(sink, caseConfig.Path(), modules.Path()));
        EXPECT_EQ(caseApp.bindingCount, c.expectedCount);
        for (int i = 0; i < 10; ++i) {
            const bool filled = i < std::min(c.entries, c.expectedCount);
            EXPECT_EQ(caseApp.bindingPorts[static_cast<size_t>(i)], filled ? "COM" + std::to_string(10 + i) : "")
                << i;
        }
    }
}

TEST_F(StartupTest, IdentityKeysAreNotReadWithDownloadAppOff) {
    config.SetDevPath("TUSN", "ISCHECK", "1");
    const StartupRun run = Start();
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(app.identity.b_checkTUSN, 0);
}

TEST_F(StartupTest, OddFilesAndValuesNeitherCrashNorOverrun) {
    struct Case {
        const char* name;
        std::string mainIni;
        int expectedRunApp;
    };
    std::string binary = "\xEF\xBB\xBF[AppLoad Info]\nrunApp=1\n";
    binary += std::string("\0\xFF\xFE\x80[\n=\n[]\n", 11);
    const Case cases[] = {
        {"empty file", "", 0},
        {"blanks and CRLF around the value", "[AppLoad Info]\r\n\t runApp \t=  1  \r\n", 1},
        {"binary bytes", binary, 1},
        {"value 1000 characters long", "[AppLoad Info]\nrunApp=1" + std::string(1000, '1') + "\n", 0},
        {"section without keys", "[AppLoad Info]\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        config.WriteText("KorvaneAppDownload.ini", c.mainIni);
        config.SetDevPath("DATABASE", "URL_A", "http://" + std::string(400, 'u'));
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        ASSERT_TRUE(caseApp.InitInstance(sink, config.Path(), modules.Path()));
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(caseApp.b_runApp, c.expectedRunApp);
        EXPECT_TRUE(caseApp.rsaKeys.p.empty());
        // A value longer than the 260-unit read buffer comes back cut, never overrunning it.
        EXPECT_LE(caseApp.images.urlA.size(), 259u);
        EXPECT_EQ(caseApp.images.urlA.rfind("http://uuu", 0), 0u);
    }
}

TEST_F(StartupTest, ShutDownFreesEverythingLoaded) {
    WriteFile(config.File("logo.bmp"), MakeBitmap16({.width = 4, .height = 4}));
    WriteText(config.File("voice.amr"), "#!AMR\n");
    WriteText(config.File("files/a.bin"), "a");
    for (const auto& [key, value] : {std::pair<const char*, const char*>{"DownloadLogo", "1"}, {"LogoPath", "logo.bmp"},
                                     {"DownloadAMR", "1"}, {"AMRPath", "voice.amr"}, {"FileDownload", "1"},
                                     {"FileSystemPart1Init", "1"}, {"FilePush1", "1"}, {"FilePath1", "files"}}) {
        config.SetAppLoad(key, value);
    }
    ASSERT_TRUE(Start().started);
    ASSERT_FALSE(app.logo.logoPixels.empty());
    ASSERT_FALSE(app.audio.amrData.empty());
    ASSERT_FALSE(app.fileSystem.fileSets[0].fileList.empty());

    app.ExitInstance();
    EXPECT_TRUE(app.logo.logoPixels.empty());
    EXPECT_TRUE(app.logo.logoBlock.empty());
    EXPECT_TRUE(app.audio.amrData.empty());
    EXPECT_TRUE(app.fileSystem.fileSets[0].fileList.empty());
    EXPECT_TRUE(app.fileSystem.fileSets[0].fileNames.empty());
    EXPECT_TRUE(app.images.mainImage.empty());
    EXPECT_TRUE(app.images.secondImage.empty());
}

}  // namespace
}  // namespace korvane::testing
