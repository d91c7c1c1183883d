// Run control as the program runs it: real start-up from a configuration folder, the real
// channel and signing modules, the watcher polling a folder of virtual ports, and
// simulated terminals on pseudo-terminals plugged in and out while a run is in progress.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "engine/thread_para.h"
#include "tests/fixtures/bitmap16.h"
#include "tests/fixtures/config_dir.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/sysfs_tree.h"
#include "tests/integration/sim_session.h"
#include "tests/integration/terminal_rig.h"

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kRunLimit = 30s;

// The console's loop in small: port changes queued by the watcher reach run control on
// this thread, and ended sessions are collected.
class FrontEnd {
public:
    FrontEnd(CKorvaneAppDownloadApp& app, const SimBench& bench, const SysfsTree& noRealPorts) : rows(app) {
        RunControlParts parts;
        PortSources sources{noRealPorts.SysRoot(), noRealPorts.DevRoot(), noRealPorts.TableDir(), bench.ports_dir};
        parts.watcher = std::make_unique<CDevHound>(MakePortEnumerator(sources));
        run = std::make_unique<RunControl>(app, rows, sink, [this](uint32_t nPort, int lParam) {
            std::lock_guard lock(mutex_);
            changes_.emplace_back(nPort, lParam);
            return true;
        }, std::move(parts));
    }

    // Runs the loop until `done` holds; false after the time limit.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kRunLimit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            std::vector<std::pair<uint32_t, int>> changes;
            {
                std::lock_guard lock(mutex_);
                changes.swap(changes_);
            }
            for (const auto& [nPort, lParam] : changes) {
                run->OnPortChange(nPort, lParam);
            }
            for (uint32_t nPort : run->TakeEndedSessions()) {
                ended.push_back(nPort);
            }
            if (done()) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(5ms);
        }
    }

    PortRow Row(int nPort) const { return rows.RowOf(nPort).value_or(PortRow{}); }

    // Lets the watcher finish a pass, so that what is plugged next is an arrival.
    static void SettleWatcher() { std::this_thread::sleep_for(100ms); }

    PortRows rows;
    RecordingMessageSink sink;
    std::unique_ptr<RunControl> run;
    std::vector<uint32_t> ended;

private:
    std::mutex mutex_;
    std::vector<std::pair<uint32_t, int>> changes_;
};

class RunControlEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        savedCwd_ = std::filesystem::current_path();
        ASSERT_TRUE(bench_.Ok()) << bench_.error;
        const KeyPairBlock& keyPair = ProcessKeyPair();
        config_.WriteBytes("keyPair.bin", std::vector<uint8_t>(keyPair.begin(), keyPair.end()));
        // A logo and one file set written into two partitions.
        config_.WriteBytes("logo.bmp", MakeBitmap16({.width = 40, .height = 30}));
        config_.SetAppLoad("DownloadLogo", "1");
        config_.SetAppLoad("LogoPath", config_.File("logo.bmp"));
        std::filesystem::create_directory(config_.File("files"));
        files_ = {{"boot.cfg", std::vector<uint8_t>(700, 0x11)}, {"font.bin", std::vector<uint8_t>(5000, 0x22)}};
        for (const auto& [name, bytes] : files_) {
            config_.WriteBytes("files/" + name, bytes);
        }
        for (const auto& [key, value] : std::map<std::string, std::string>{
                 {"FileDownload", "1"}, {"FileSystemPart1Init", "1"}, {"FileSystemPart2Init", "1"},
                 {"SPIFlashSize", "16"}, {"FileSystemPart1Address", "256"}, {"FileSystemPart1Size", "4"},
                 {"FileSystemPart1DriveLetter", "C"}, {"FileSystemPart2Address", "1536"},
                 {"FileSystemPart2Size", "2"}, {"FileSystemPart2DriveLetter", "D"}, {"FilePush1", "1"},
                 {"TargePath1", "C:/res"}, {"FilePath1", "files"}}) {
            config_.SetAppLoad(key, value);
        }
        RecordingMessageSink startup;
        ASSERT_TRUE(app_.InitInstance(startup, config_.Path(), KORVANE_MODULE_DIR))
            << (startup.messages.empty() ? "" : startup.messages.back());
        front_ = std::make_unique<FrontEnd>(app_, bench_, noRealPorts_);
    }

    void TearDown() override {
        if (front_) {
            front_->run->OnStop();
            front_.reset();
        }
        terminals_.clear();
        app_.ExitInstance();
        std::filesystem::current_path(savedCwd_);
    }

    sim::SimTerminal& Terminal(int port, sim::TerminalSettings settings = LoaderTerminal(),
                               const std::string& description = sim::kDefaultPortDescription) {
        terminals_[port] = MakeTerminal(bench_, port, std::move(settings), description);
        return *terminals_[port];
    }

    void Plug(sim::SimTerminal& terminal) {
        std::string error;
        ASSERT_TRUE(terminal.Plug(error)) << error;
    }

    bool Ended(size_t count) const { return front_->ended.size() >= count; }

    _THREAD_PARA_T& Record(uint32_t nPort) { return *front_->run->Sessions().at(nPort); }

    SimBench bench_;
    SysfsTree noRealPorts_;
    ConfigDir config_;
    CKorvaneAppDownloadApp app_;
    std::map<std::string, std::vector<uint8_t>> files_;
    std::unique_ptr<FrontEnd> front_;
    std::map<int, std::unique_ptr<sim::SimTerminal>> terminals_;
    std::filesystem::path savedCwd_;
};

TEST_F(RunControlEndToEnd, FourTerminalsPluggedOneAfterAnotherAllPass) {
    ASSERT_TRUE(front_->run->OnStart());
    FrontEnd::SettleWatcher();
    for (int port : {3, 4, 5, 6}) {
        Plug(Terminal(port));
        ASSERT_TRUE(front_->PumpUntil([&] { return front_->run->Sessions().count(static_cast<uint32_t>(port)) != 0; }));
    }
    ASSERT_TRUE(front_->PumpUntil([&] { return Ended(4); }));

    const std::vector<PortRow> rows = front_->rows.Snapshot();
    ASSERT_EQ(rows.size(), 4U);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].nPort, static_cast<int>(3 + i));  // rows in order of arrival
        EXPECT_EQ(rows[i].cells[kColProgress], "Passed") << rows[i].nPort;
        EXPECT_EQ(rows[i].cells[kColStatus], "Finish");
    }
    for (const auto& [port, terminal] : terminals_) {
        SCOPED_TRACE(port);
        const sim::TerminalRecord record = terminal->Snapshot();
        ASSERT_TRUE(record.logo.has_value());
        EXPECT_EQ(*record.logo, app_.logo.logoBlock);
        EXPECT_EQ(record.partitions.size(), 2U);
        ASSERT_EQ(record.files.size(), files_.size());
        for (const auto& [name, bytes] : files_) {
            EXPECT_EQ(record.files.at("C:/res/" + name), bytes) << name;
        }
        for (const sim::ReceivedPacket& packet : record.packets) {
            EXPECT_EQ(packet.signature, sim::SignatureResult::kValid);
        }
    }
}

TEST_F(RunControlEndToEnd, APortWithAnotherDescriptionGetsNoSession) {
    ASSERT_TRUE(front_->run->OnStart());
    FrontEnd::SettleWatcher();
    sim::SimTerminal& other = Terminal(7, LoaderTerminal(), "Unisoc Usb Serial Port 1");
    Plug(other);
    sim::SimTerminal& terminal = Terminal(8);
    Plug(terminal);
    ASSERT_TRUE(front_->PumpUntil([&] { return Ended(1); }));
    EXPECT_EQ(front_->ended, std::vector<uint32_t>{8});
    EXPECT_EQ(front_->run->Sessions().count(7), 0U);
    EXPECT_EQ(front_->rows.Snapshot().size(), 1U);
    EXPECT_FALSE(other.Status().received_any);
}

TEST_F(RunControlEndToEnd, UnplugMidTransferTearsDownAndReplugStartsAgainOnTheSameRecord) {
    // The logo's answer comes late, so the terminal is pulled while the session waits.
    sim::SimTerminal& terminal = Terminal(5, LoaderTerminal({"delay=1500:cmd=11"}));
    ASSERT_TRUE(front_->run->OnStart());
    FrontEnd::SettleWatcher();
    Plug(terminal);
    ASSERT_TRUE(front_->PumpUntil([&] {
        return !terminal.Snapshot().PacketsOf(11).empty() && front_->Row(5).cells[kColStatus] == "Downloading Logo";
    }));
    _THREAD_PARA_T* record = &Record(5);

    terminal.Unplug();
    ASSERT_TRUE(front_->PumpUntil([&] { return front_->Row(5).cells[kColStatus] == "Unplugged"; }));
    EXPECT_EQ(front_->Row(5).cells[kColStep], "Waiting...");
    EXPECT_FALSE(record->pThread.joinable());  // the session thread is gone
    EXPECT_EQ(record->pChannel, nullptr);      // its channel closed and released
    EXPECT_EQ(record->bOpened, 0);

    // The session may have seen the port go before the watcher did, and ended with its
    // own failure; either way the replugged terminal gets a new session.
    const size_t endedBefore = front_->ended.size();
    Plug(terminal);
    ASSERT_TRUE(front_->PumpUntil([&] { return Ended(endedBefore + 1); }));
    EXPECT_EQ(&Record(5), record);  // the same record
    EXPECT_EQ(front_->rows.Snapshot().size(), 1U);
    EXPECT_EQ(front_->Row(5).nItem, 0);
    EXPECT_EQ(front_->Row(5).cells[kColProgress], "Passed");
    EXPECT_EQ(terminal.Snapshot().logo, app_.logo.logoBlock);
}

TEST_F(RunControlEndToEnd, StopInTheMiddleEndsEverything) {
    ASSERT_TRUE(front_->run->OnStart());
    FrontEnd::SettleWatcher();
    for (int port : {1, 2}) {
        Plug(Terminal(port, LoaderTerminal({"delay=5000:cmd=11"})));
    }
    ASSERT_TRUE(front_->PumpUntil([&] {
        return front_->Row(1).cells[kColStatus] == "Downloading Logo" &&
               front_->Row(2).cells[kColStatus] == "Downloading Logo";
    }));

    const auto before = std::chrono::steady_clock::now();
    front_->run->OnStop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);  // no waiting out the late answers
    EXPECT_FALSE(front_->run->Running());
    EXPECT_FALSE(front_->run->TimerArmed());
    EXPECT_FALSE(front_->run->Watcher()->ThreadExists());
    EXPECT_TRUE(front_->run->Sessions().empty());
    EXPECT_TRUE(front_->rows.Snapshot().empty());

    // Nothing more reaches the terminals, and the ports are free to be opened again.
    const size_t packets = terminals_[1]->Snapshot().packets.size();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(terminals_[1]->Snapshot().packets.size(), packets);
    IChannel* channel = nullptr;
    ASSERT_NE(app_.pfnCreateChannel(&channel, 0), 0);
    const ChannelConfig port1{0, 1, 115200};
    EXPECT_NE(channel->vtbl->Open(channel, &port1), 0);
    channel->vtbl->Close(channel);
    app_.pfnReleaseChannel(channel);
}

TEST_F(RunControlEndToEnd, AnIdleRunReportsNothingForTerminalsAlreadyThere) {
    Plug(Terminal(9));
    ASSERT_TRUE(front_->run->OnStart());
    EXPECT_FALSE(front_->PumpUntil([] { return false; }, 500ms));
    EXPECT_TRUE(front_->run->Sessions().empty());
    EXPECT_FALSE(terminals_[9]->Status().received_any);
}

}  // namespace
}  // namespace korvane::testing
