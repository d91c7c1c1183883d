// Whole sessions through the real channel and signing modules against simulated
// terminals in their loader: what each configuration sends, what the terminal keeps,
// and how a terminal's faults end the session. Several terminals run at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/signature_cache.h"
#include "images/local_files.h"
#include "sim/faults.h"
#include "tests/fixtures/bitmap16.h"
#include "tests/fixtures/link_frames.h"
#include "tests/fixtures/scripted_channel.h"
#include "tests/integration/sim_session.h"

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;
using Sequence = std::vector<std::string>;

constexpr uint32_t kMainLoad = 0x80000000;
constexpr uint32_t kSecondLoad = 0x81000000;
constexpr auto kSessionLimit = 30s;

sim::TerminalSettings LoaderTerminal(const std::vector<std::string>& fault_rules = {}) {
    sim::TerminalSettings settings;
    settings.start_mode = sim::TerminalMode::kLoader;
    for (const std::string& rule_text : fault_rules) {
        sim::FaultRule rule;
        std::string error;
        EXPECT_TRUE(sim::ParseFaultRule(rule_text, rule, error)) << rule_text << ": " << error;
        settings.faults.push_back(rule);
    }
    return settings;
}

// The results without their "SetResult <port> " prefix: "1 - PASS", "0 6000 Time out".
Sequence Outcomes(const SimSession& session) {
    Sequence outcomes;
    const std::string prefix = "SetResult " + std::to_string(session.port) + " ";
    for (const std::string& line : session.Results()) {
        outcomes.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
    }
    return outcomes;
}

_tagDownloadImageData MakeFile(const std::string& name, size_t size, uint8_t seed) {
    _tagDownloadImageData file;
    std::copy(name.begin(), name.end(), file.szName.begin());
    file.nSize = static_cast<uint32_t>(size);
    for (size_t i = 0; i < size; ++i) {
        file.pData.push_back(static_cast<uint8_t>(seed + i));
    }
    return file;
}

void UseImages(CKorvaneAppDownloadApp& app, size_t main_length, size_t second_length = 0) {
    app.images.b_downloadApp = 1;
    app.images.mainImage = MakeTestImage(main_length, kMainLoad, 1);
    app.images.mainImageSize = static_cast<int>(main_length);
    app.images.imageCount = 1;
    if (second_length != 0) {
        app.images.secondImage = MakeTestImage(second_length, kSecondLoad, 2);
        app.images.secondImageSize = static_cast<int>(second_length);
        app.images.imageCount = 2;
    }
}

// Every download and setting: two images, logo, file system with two partitions and
// three file sets, audio, auto-run, secure boot, run app, CHECK SP.
void ConfigureEverything(CKorvaneAppDownloadApp& app) {
    UseImages(app, 2000, 1000);
    app.logo.b_downloadLogo = 1;
    app.logo.logoBlock.assign(36, 0x3C);
    app.logo.logoBlockSize = 36;
    app.fileSystem.b_fileDownload = 1;
    app.fileSystem.b_fsConfig = 1;
    app.fileSystem.fsType = 2;
    app.fileSystem.fsDMA = 1;
    app.fileSystem.fsBaud = 921600;
    app.fileSystem.spiFlashSize = 16;
    app.fileSystem.partitions[0].b_fsPartInit = 1;
    app.fileSystem.partitions[0].fsPartDrive = "C";
    app.fileSystem.partitions[0].fsPartAddress = 0x100;
    app.fileSystem.partitions[0].fsPartSize = 4;
    app.fileSystem.partitions[1].b_fsPartInit = 1;
    app.fileSystem.partitions[1].fsPartDrive = "D";
    app.fileSystem.partitions[1].fsPartAddress = 0x500;
    app.fileSystem.partitions[1].fsPartSize = 2;
    app.fileSystem.fileSets[0].b_filePush = 1;
    app.fileSystem.fileSets[0].targetPath = "C:";
    app.fileSystem.fileSets[0].fileList = {MakeFile("a.txt", 10, 1), MakeFile("b.bin", 1025, 2)};
    app.fileSystem.fileSets[1].b_filePush = 1;
    app.fileSystem.fileSets[1].targetPath = "C:/data";
    app.fileSystem.fileSets[1].fileList = {MakeFile("c.dat", 1024, 3)};
    app.fileSystem.fileSets[2].b_filePush = 1;
    app.fileSystem.fileSets[2].targetPath = "D:/x/y";
    app.fileSystem.fileSets[2].fileList = {MakeFile("d", 0, 4)};
    app.audio.b_downloadAMR = 1;
    app.audio.amrData.assign(3000, 0x42);
    app.audio.amrSize = 3000;
    app.b_autoRun = 1;
    app.b_secureBoot = 1;
    app.b_runApp = 1;
    app.b_checkSP = 1;
}

struct Configuration {
    const char* name;
    std::function<void(CKorvaneAppDownloadApp&)> configure;
    std::vector<std::string> faults;
    Sequence sequence;
    Sequence outcomes;
};

// Each configuration gets a terminal of its own; all sessions run at once.
TEST(SessionEndToEnd, ConfigurationsSendTheirCommandsAndEndAsExpected) {
    const Configuration configurations[] = {
        {"every flag off", [](auto&) {}, {}, {"5", "48"}, {"1 - PASS"}},
        {"one image of 1537 bytes", [](auto& app) { UseImages(app, 1537); }, {}, {"5", "48", "0*4"}, {"1 - PASS"}},
        {"two images", [](auto& app) { UseImages(app, 400, 2000); }, {}, {"5", "48", "0*7"}, {"1 - PASS"}},
        {"main image answered APP is Running",
         [](auto& app) { UseImages(app, 400, 400); },
         {"app-running"},
         {"5", "48", "0*2", "2", "25"},
         {"0 6000 remote: APP is Running", "0 - App is running, reset."}},
        {"second image answered APP is Running",
         [](auto& app) { UseImages(app, 400, 400); },
         {"app-running:cmd=0:nth=5"},
         {"5", "48", "0*5"},
         {"0 6001 remote: APP is Running"}},
        {"answer cut off mid-image",
         [](auto& app) { UseImages(app, 4000); },
         {"cut:cmd=0:nth=2"},
         {"5", "48", "0*2"},
         {"0 6000 Time out"}},
        {"terminal silent mid-logo",
         [](auto& app) {
             app.logo.b_downloadLogo = 1;
             app.logo.logoBlock.assign(2000, 7);
             app.logo.logoBlockSize = 2000;
         },
         {"silent:cmd=11:nth=2"},
         {"5", "48", "11*2"},
         {"0 4 Time out"}},
        {"terminal unplugged mid-image",
         [](auto& app) { UseImages(app, 4000); },
         {"unplug-at:cmd=0:nth=2"},
         {"5", "48", "0*2"},
         {"0 6000 Port lost"}},
        {"erase refused",
         [](auto& app) { app.fileSystem.b_fileDownload = 1; },
         {"remote-error=flash busy:cmd=36"},
         {"5", "48", "36"},
         {"0 5 remote: flash busy"}},
        {"everything",
         ConfigureEverything,
         {"app-running:cmd=1"},
         {"5", "48", "0*7", "11*3", "43", "36", "35*2", "37*7", "40", "37*5", "44*4", "2", "33", "31", "1",
          "CHECK SP"},
         {"0 1 remote: APP is Running", "1 - PASS"}},
    };

    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    std::vector<std::unique_ptr<SimSession>> sessions;
    int port = 1;
    for (const Configuration& c : configurations) {
        auto session = std::make_unique<SimSession>(bench, port++, LoaderTerminal(c.faults));
        c.configure(session->app);
        ASSERT_TRUE(session->Start()) << c.name << ": " << session->error;
        sessions.push_back(std::move(session));
    }
    for (size_t i = 0; i < sessions.size(); ++i) {
        SCOPED_TRACE(configurations[i].name);
        SimSession& session = *sessions[i];
        ASSERT_TRUE(session.WaitFinished(kSessionLimit));
        const sim::TerminalRecord record = session.Record();
        EXPECT_EQ(FoldedSequence(record), configurations[i].sequence);
        EXPECT_EQ(Outcomes(session), configurations[i].outcomes);
        for (const sim::ReceivedPacket& packet : record.packets) {
            // A packet that a fault keeps from being answered is not judged either.
            if (packet.fault.empty()) {
                EXPECT_EQ(packet.signature, sim::SignatureResult::kValid) << "packet " << packet.number;
            }
        }
    }
}

TEST(SessionEndToEnd, ImageIsStoredByteForByteFromItsLoadAddress) {
    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    SimSession session(bench, 3, LoaderTerminal());
    UseImages(session.app, 1537);
    ASSERT_TRUE(session.Start()) << session.error;
    ASSERT_TRUE(session.WaitFinished(kSessionLimit));

    const sim::TerminalRecord record = session.Record();
    ASSERT_EQ(record.images.count(kMainLoad), 1u);
    EXPECT_EQ(record.images.at(kMainLoad), session.app.images.mainImage);
    std::vector<uint32_t> payloads;
    for (const sim::ReceivedPacket& packet : record.PacketsOf(0)) {
        payloads.push_back(packet.payload_size);
    }
    EXPECT_EQ(payloads, std::vector<uint32_t>({8, 8 + 1536, 8 + 1, 8})) << "start, 1536 + 1 bytes, end";
    EXPECT_EQ(record.download_opened, 1u);
    EXPECT_EQ(session.view.Log("SetStep"), Sequence({"SetStep 3 2 1 1537"}));
    EXPECT_EQ(session.view.Log("SetProgress"), Sequence({"SetProgress 3 1536", "SetProgress 3 1537"}));
}

TEST(SessionEndToEnd, EveryConfiguredItemIsStoredOnTheTerminal) {
    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    SimSession session(bench, 4, LoaderTerminal());
    ConfigureEverything(session.app);
    ASSERT_TRUE(session.Start()) << session.error;
    ASSERT_TRUE(session.WaitFinished(kSessionLimit));
    EXPECT_EQ(Outcomes(session), Sequence({"1 - PASS"}));

    const sim::TerminalRecord r = session.Record();
    const CKorvaneAppDownloadApp& app = session.app;
    EXPECT_EQ(r.images.at(kMainLoad), app.images.mainImage);
    EXPECT_EQ(r.images.at(kSecondLoad), app.images.secondImage);
    EXPECT_EQ(r.logo, app.logo.logoBlock);
    EXPECT_EQ(r.audio, app.audio.amrData);
    ASSERT_TRUE(r.fs_config.has_value());
    EXPECT_EQ(*r.fs_config, (std::array<uint32_t, 3>{2, 1, 921600}));
    EXPECT_EQ(r.erase_count, 1u);
    ASSERT_EQ(r.partitions.size(), 2u);
    EXPECT_EQ(r.partitions[0].drive, "C:");
    EXPECT_EQ(r.partitions[0].start_addr, 0x100u);
    EXPECT_EQ(r.partitions[0].size, 4);
    EXPECT_EQ(r.partitions[0].flash_size, 16);
    EXPECT_EQ(r.partitions[1].drive, "D:");
    EXPECT_EQ(r.partitions[1].start_addr, 0x500u);
    EXPECT_EQ(r.dirs, Sequence({"C:/data"})) << "only the target with exactly one '/' is prepared";
    std::map<std::string, std::vector<uint8_t>> expected_files = {
        {"C:/a.txt", app.fileSystem.fileSets[0].fileList[0].pData},
        {"C:/b.bin", app.fileSystem.fileSets[0].fileList[1].pData},
        {"C:/data/c.dat", app.fileSystem.fileSets[1].fileList[0].pData},
        {"D:/x/y/d", {}},
    };
    EXPECT_EQ(r.files, expected_files);
    EXPECT_EQ(r.auto_run, '1');
    EXPECT_TRUE(r.secure_boot_queried);
    EXPECT_TRUE(r.secure_boot_enabled) << "\"Secure boot disable!\" is answered with command 31";
    EXPECT_TRUE(r.check_sp);
    EXPECT_FALSE(r.reset);
}

TEST(SessionEndToEnd, LoadedLocalFilesArriveAsLoaded) {
    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    TempDir files;
    const std::vector<uint8_t> bitmap = MakeBitmap16({});
    std::ofstream(files.File("logo.bmp"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bitmap.data()), static_cast<std::streamsize>(bitmap.size()));
    std::ofstream(files.File("voice.amr"), std::ios::binary) << "#!AMR\n" << std::string(700, 'v');
    std::filesystem::create_directory(files.File("set"));
    std::ofstream(files.File("set/one.txt"), std::ios::binary) << "first file";
    std::ofstream(files.File("set/two.txt"), std::ios::binary) << std::string(1500, 't');
    std::filesystem::create_directory(files.File("set/sub"));

    SimSession session(bench, 5, LoaderTerminal());
    CKorvaneAppDownloadApp& app = session.app;
    app.logo.b_downloadLogo = 1;
    app.logo.logoPath = files.File("logo.bmp");
    ASSERT_EQ(LoadLogo(app.logo), 1);
    BuildLogoBlock(app.logo);
    app.audio.b_downloadAMR = 1;
    app.audio.amrPath = files.File("voice.amr");
    ASSERT_EQ(LoadAmr(app.audio), kAmrLoaded);
    app.fileSystem.b_fileDownload = 1;
    app.fileSystem.fileSets[0].b_filePush = 1;
    app.fileSystem.fileSets[0].filePath = files.File("set");
    app.fileSystem.fileSets[0].targetPath = "C:/res";
    LoadFileSet(app.fileSystem.fileSets[0], 1, nullptr);
    ASSERT_EQ(app.fileSystem.fileSets[0].fileList.size(), 2u);

    ASSERT_TRUE(session.Start()) << session.error;
    ASSERT_TRUE(session.WaitFinished(kSessionLimit));
    EXPECT_EQ(Outcomes(session), Sequence({"1 - PASS"}));

    const sim::TerminalRecord r = session.Record();
    ASSERT_TRUE(r.logo.has_value());
    ASSERT_EQ(r.logo->size(), 36u) << "28-byte header and 2 x 2 pixels of 2 bytes";
    EXPECT_EQ(LoadU32(r.logo->data()), 0x5A5AA5A5u);
    EXPECT_EQ(LoadU32(r.logo->data() + 12), 8u);
    const std::vector<uint8_t> pixels(r.logo->begin() + 28, r.logo->end());
    EXPECT_EQ(pixels, TopDownPixels(2, 2)) << "the file's bottom-up rows arrive top row first";
    std::ifstream amr(app.audio.amrPath, std::ios::binary);
    EXPECT_EQ(r.audio, std::vector<uint8_t>(std::istreambuf_iterator<char>(amr), {}));
    EXPECT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files.at("C:/res/one.txt"), ToBytes("first file"));
    EXPECT_EQ(r.files.at("C:/res/two.txt"), ToBytes(std::string(1500, 't')));
    EXPECT_EQ(r.dirs, Sequence({"C:/res"}));
}

// Several terminals take the same images at once with the process's shared signatures:
// every terminal checks every packet's signature and keeps the images byte for byte, and
// each distinct packet was signed once for all of them.
TEST(SessionEndToEnd, TerminalsTakingTheSameImagesShareTheirSignatures) {
    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    const auto shared = std::make_shared<SignatureCache>();
    std::vector<std::unique_ptr<SimSession>> sessions;
    for (int port = 11; port < 17; ++port) {
        sessions.push_back(std::make_unique<SimSession>(bench, port, LoaderTerminal()));
        UseImages(sessions.back()->app, 20 * 1536 + 7, 3 * 1536);
        sessions.back()->app.signing.signatureCache = shared;
    }
    for (auto& session : sessions) {
        ASSERT_TRUE(session->Start()) << session->error;
    }
    for (auto& session : sessions) {
        SCOPED_TRACE(session->port);
        ASSERT_TRUE(session->WaitFinished(kSessionLimit));
        EXPECT_EQ(Outcomes(*session), Sequence({"1 - PASS"}));
        const sim::TerminalRecord record = session->Record();
        ASSERT_EQ(record.images.count(kMainLoad), 1u);
        ASSERT_EQ(record.images.count(kSecondLoad), 1u);
        EXPECT_EQ(record.images.at(kMainLoad), session->app.images.mainImage);
        EXPECT_EQ(record.images.at(kSecondLoad), session->app.images.secondImage);
    }
    // Start, data and end packets of both images; the two end packets are the same bytes.
    EXPECT_EQ(shared->Size(), (1u + 21u + 1u) + (1u + 3u + 1u) - 1u);
}

TEST(SessionEndToEnd, StopMidTransferEndsTheSessionWithinOneReadWait) {
    const std::pair<const char*, std::function<void(SimSession&)>> stops[] = {
        {"session told to stop", [](SimSession& s) { s.Stop(); }},
        {"run stopped", [](SimSession& s) { s.app.b_running = 0; }},
    };
    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    int port = 6;
    for (const auto& [name, stop] : stops) {
        SCOPED_TRACE(name);
        // Paced at the line's speed, a 64 KiB image takes several seconds.
        SimSession session(bench, port++, LoaderTerminal(), 115200);
        UseImages(session.app, 64 * 1024);
        ASSERT_TRUE(session.Start()) << session.error;
        ASSERT_TRUE(session.terminal->WaitUntil([](const sim::TerminalRecord& r) { return r.PacketsOf(0).size() >= 3; },
                                                20s));
        const auto stopped_at = std::chrono::steady_clock::now();
        stop(session);
        ASSERT_TRUE(session.WaitFinished(5s));
        const auto took = std::chrono::steady_clock::now() - stopped_at;
        EXPECT_LT(took, 250ms) << "a read waits 10 ms; the session must not outlast it by much";
        RecordProperty(std::string("microseconds from stop to end, ") + name,
                       static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
        EXPECT_EQ(Outcomes(session), Sequence({"0 6000 Stopped"}));
    }
}

}  // namespace
}  // namespace korvane::testing
