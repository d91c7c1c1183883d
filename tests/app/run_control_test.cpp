// Run control over a fake channel module, a fake session body and a scripted watcher:
// the Start checks, which port changes make sessions, and set-up and tear-down of the
// sessions with their threads, channels and rows.
#include "app/run_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "app/run_records.h"
#include "engine/signature_cache.h"
#include "engine/thread_para.h"
#include "platform/profile.h"
#include "tests/discovery/watcher_fakes.h"
#include "tests/fixtures/fake_signing.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/recording_session_events.h"
#include "tests/fixtures/short_of_memory.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

// ---- a channel module whose channels record what is done to them ----

struct FakeChannel {
    IChannel base;
    int id = 0;
    std::vector<std::string> events;
    int cancels = 0;  // CancelIo calls, kept apart from the events
};

class FakeChannelModule {
public:
    static FakeChannelModule& Get() {
        static FakeChannelModule module;
        return module;
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        channels_.clear();
        failCreate_ = failOpen_ = false;
    }
    void FailCreate(bool fail) { std::lock_guard lock(mutex_); failCreate_ = fail; }
    void FailOpen(bool fail) { std::lock_guard lock(mutex_); failOpen_ = fail; }

    // What happened to the channel with the given creation number (1, 2, ...).
    std::vector<std::string> Events(int id) {
        std::lock_guard lock(mutex_);
        return id >= 1 && id <= static_cast<int>(channels_.size()) ? channels_[static_cast<size_t>(id - 1)]->events
                                                                     : std::vector<std::string>{"(none)"};
    }
    int Cancels(int id) {
        std::lock_guard lock(mutex_);
        return id >= 1 && id <= static_cast<int>(channels_.size()) ? channels_[id - 1]->cancels : -1;
    }
    int Created() {
        std::lock_guard lock(mutex_);
        return static_cast<int>(channels_.size());
    }

    static int32_t Create(IChannel** slot, uint32_t) {
        auto& self = Get();
        std::lock_guard lock(self.mutex_);
        if (self.failCreate_) {
            return 0;
        }
        auto channel = std::make_unique<FakeChannel>();
        channel->base.vtbl = &kTable;
        channel->id = static_cast<int>(self.channels_.size()) + 1;
        *slot = &channel->base;
        self.channels_.push_back(std::move(channel));
        return 1;
    }
    static void Release(IChannel* channel) { Record(channel, "release"); }

private:
    static void Record(IChannel* channel, std::string event) {
        auto& self = Get();
        std::lock_guard lock(self.mutex_);
        reinterpret_cast<FakeChannel*>(channel)->events.push_back(std::move(event));
    }
    static int32_t Open(IChannel* channel, const ChannelConfig* config) {
        Record(channel, "open " + std::to_string(config->kind) + " " + std::to_string(config->port) + " " +
                            std::to_string(config->baud));
        std::lock_guard lock(Get().mutex_);
        return Get().failOpen_ ? 0 : 1;
    }
    static void Close(IChannel* channel) { Record(channel, "close"); }
    static int32_t Read(IChannel*, void*, uint32_t, uint32_t, uint32_t) { return 0; }
    static uint32_t Version(IChannel*) { return CHANNEL_VERSION_CANCEL_IO; }
    static void CancelIo(IChannel* channel) {
        std::lock_guard lock(Get().mutex_);
        ++reinterpret_cast<FakeChannel*>(channel)->cancels;
    }
    static int32_t Write(IChannel*, const void*, uint32_t length, uint32_t) { return static_cast<int32_t>(length); }

    static constexpr IChannelVtbl kTable = {Version, nullptr, nullptr, nullptr, Open, Close,
                                            nullptr, Read,    Write,   nullptr, CancelIo};

    std::mutex mutex_;
    std::vector<std::unique_ptr<FakeChannel>> channels_;
    bool failCreate_ = false;
    bool failOpen_ = false;
};

// ---- a session body that downloads until the test lets it finish or it is stopped ----

class FakeSessions {
public:
    static FakeSessions& Get() {
        static FakeSessions sessions;
        return sessions;
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        started_.clear();
        finish_.clear();
    }

    // The thread body. Like the engine, a stopped session reports its failure.
    static int Body(_THREAD_PARA_T* para) {
        auto& self = Get();
        const int port = static_cast<int>(para->nPort);
        para->pRun->view->SetStep(port, kStepMainApp, 1, 100);
        std::unique_lock lock(self.mutex_);
        self.started_.push_back(para);
        self.changed_.notify_all();
        while (!para->bStop && self.finish_.count(para->nPort) == 0) {
            self.changed_.wait_for(lock, std::chrono::milliseconds(1));
        }
        const bool finished = self.finish_.erase(para->nPort) != 0 && !para->bStop;
        lock.unlock();
        para->pRun->view->SetResult(port, finished ? 1 : 0, nullptr, finished ? "PASS" : kStoppedMessage);
        para->bFinished = true;
        return 0;
    }

    // Lets the session of a port finish with a pass and waits for its thread to return.
    void Finish(_THREAD_PARA_T* para) {
        {
            std::lock_guard lock(mutex_);
            finish_.insert(para->nPort);
            changed_.notify_all();
        }
        while (!para->bFinished) {
            std::this_thread::yield();
        }
    }

    // The records sessions were started with, in order.
    std::vector<_THREAD_PARA_T*> Started() {
        std::lock_guard lock(mutex_);
        return started_;
    }

    // Waits until n sessions have started.
    void AwaitStarts(size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return started_.size() >= n; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<_THREAD_PARA_T*> started_;
    std::set<uint32_t> finish_;
};

constexpr const char* kTerminal = "Unisoc Usb Serial Port 0";
using Events = std::vector<std::string>;

using testing::RecordingSessionEvents;

class RunControlTest : public ::testing::Test {
protected:
    RunControlTest() {
        FakeChannelModule::Get().Reset();
        FakeSessions::Get().Reset();
        app_.pfnCreateChannel = &FakeChannelModule::Create;
        app_.pfnReleaseChannel = &FakeChannelModule::Release;
        ports_ = std::make_shared<testing::ScriptedPorts::Shared>();
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<testing::ScriptedPorts>(ports_), gate_);
        parts.sessionEntry = &FakeSessions::Body;
        parts.events = &events_;
        app_.bindingPorts[0] = "COM5";
        app_.bindingCount = 1;
        parts.tableFile = TableFile();
        run_ = std::make_unique<RunControl>(app_, rows_, sink_, [](uint32_t, int) { return true; }, std::move(parts));
    }

    ~RunControlTest() override {
        gate_.Open();
        run_.reset();
    }

    // Starts a run with these ports known to the watcher.
    void StartWith(std::vector<PortInterface> ports) {
        {
            std::lock_guard lock(ports_->mutex);
            ports_->ports = std::move(ports);
        }
        ASSERT_TRUE(run_->OnStart());
        gate_.AwaitFirstPass();
    }

    std::string TableFile() const { return config_.File("ComPorts.ini"); }
    bool HasRecord(uint32_t nPort) const { return run_->Sessions().count(nPort) != 0; }
    // The port's record; throws (failing the test) when there is none.
    _THREAD_PARA_T* Record(uint32_t nPort) { return run_->Sessions().at(nPort).get(); }

    PortRow Row(int nPort) const {
        const std::optional<PortRow> row = rows_.RowOf(nPort);
        if (!row) {
            ADD_FAILURE() << "no row for port " << nPort;
        }
        return row.value_or(PortRow{});
    }

    testing::TempDir config_;
    CKorvaneAppDownloadApp app_;
    RecordingSessionEvents events_;
    PortRows rows_{app_};
    testing::RecordingMessageSink sink_;
    testing::PassGate gate_;
    std::shared_ptr<testing::ScriptedPorts::Shared> ports_;
    std::unique_ptr<RunControl> run_;
};

// Start leaves signing the loaded data to a background pass; Stop ends it. The signer lets
// three packets through and holds the fourth: Start has returned by then, and once Stop has
// ended the run the held packet is the last one signed.
TEST_F(RunControlTest, StartSignsTheLoadedImageAheadAndStopEndsIt) {
    testing::ResetFakeSignCalls();
    testing::CloseSignGate();
    testing::AllowSigns(3);
    app_.signing.pfnSign = &testing::GatedSign;
    app_.signing.signatureCache = std::make_shared<SignatureCache>();
    app_.images.b_downloadApp = 1;
    app_.images.b_appLoaded = 1;
    app_.images.imageCount = 1;
    app_.images.mainImage.assign(1536 * 300, 0x5A);  // 302 packets, no two alike
    for (size_t i = 0; i < app_.images.mainImage.size(); i += 1536) {
        app_.images.mainImage[i + 400] = static_cast<uint8_t>(i / 1536);
    }
    app_.images.mainImageSize = static_cast<int>(app_.images.mainImage.size());

    StartWith({});
    testing::AwaitSignsArrived(4);
    EXPECT_EQ(testing::FakeSignCalls(), 3);

    testing::ReleaseSignsWhen([this] { return app_.b_running.load() == 0; });
    gate_.Open();  // the scripted watcher's passes no longer wait
    run_->OnStop();
    EXPECT_EQ(testing::FakeSignCalls(), 4) << "signing went on after Stop";
    EXPECT_EQ(testing::SignsArrived(), 4);
    EXPECT_EQ(app_.signing.signatureCache->Size(), 4u);
    testing::CloseSignGate();  // forgets the condition, which refers to this test's run
}

TEST_F(RunControlTest, StartRefusesWithTheFirstMissingItem) {
    struct Flags {
        int app = 0, appLoaded = 0, logo = 0, logoLoaded = 0, files = 0, files1 = 0, files2 = 0, files3 = 0,
            amr = 0, amrLoaded = 0;
    };
    const struct {
        const char* name;
        Flags flags;
        const char* message;  // null: Start goes ahead
    } cases[] = {
        {"app not loaded", {.app = 1, .logo = 1}, "App 未加载，请确认！"},
        {"logo not loaded", {.app = 1, .appLoaded = 1, .logo = 1}, "Logo文件 未加载，请确认！"},
        {"no file set loaded", {.files = 1, .amr = 1}, "文件 未加载，请确认！"},
        {"amr not loaded", {.files = 1, .files3 = 1, .amr = 1}, "AMR文件 未加载，请确认！"},
        {"amr and logo both on", {.logo = 1, .logoLoaded = 1, .amr = 1, .amrLoaded = 1},
         "AMR,Logo只能选一种，请确认！"},
        {"logo missing is told before the amr-and-logo rule", {.logo = 1, .amr = 1, .amrLoaded = 1},
         "Logo文件 未加载，请确认！"},
        {"items off need nothing loaded", {}, nullptr},
        {"one file set is enough", {.files = 1, .files2 = 1, .amr = 1, .amrLoaded = 1}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink_.messages.clear();
        app_.images.b_downloadApp = c.flags.app;
        app_.images.b_appLoaded = c.flags.appLoaded;
        app_.logo.b_downloadLogo = c.flags.logo;
        app_.logo.b_logoLoaded = c.flags.logoLoaded;
        app_.fileSystem.b_fileDownload = c.flags.files;
        app_.fileSystem.fileSets[0].b_filesLoaded = c.flags.files1;
        app_.fileSystem.fileSets[1].b_filesLoaded = c.flags.files2;
        app_.fileSystem.fileSets[2].b_filesLoaded = c.flags.files3;
        app_.audio.b_downloadAMR = c.flags.amr;
        app_.audio.b_amrLoaded = c.flags.amrLoaded;
        const bool started = run_->OnStart();
        EXPECT_EQ(started, c.message == nullptr);
        EXPECT_EQ(run_->Running(), started);
        EXPECT_EQ(run_->TimerArmed(), started);
        EXPECT_EQ(run_->Watcher()->ThreadExists(), started);
        EXPECT_EQ(sink_.messages, c.message != nullptr ? Events{c.message} : Events{});
        gate_.Open();
        run_->OnStop();
        gate_.Reset();
        EXPECT_FALSE(run_->Running());
        EXPECT_FALSE(run_->TimerArmed());
        EXPECT_FALSE(run_->Watcher()->ThreadExists());
    }
}

TEST_F(RunControlTest, OnlyTerminalsInDownloadModeGetASessionWhileRunning) {
    run_->OnPortChange(3, 1);  // not running yet, name unknown as well
    StartWith({{"COM3", "", kTerminal}, {"COM4", "", "Unisoc Usb Serial Port 1"}, {"COM5", "Printer (COM5)", ""}});
    run_->OnPortChange(4, 1);
    run_->OnPortChange(5, 1);
    run_->OnPortChange(9, 1);  // never seen
    run_->OnPortChange(3, 2);  // not an arrival or removal
    EXPECT_TRUE(run_->Sessions().empty());
    EXPECT_TRUE(rows_.Snapshot().empty());

    run_->OnPortChange(3, 1);
    FakeSessions::Get().AwaitStarts(1);
    ASSERT_TRUE(HasRecord(3));
    EXPECT_EQ(run_->Sessions().size(), 1U);
}

PortInterface UsbPort(const char* portName, const char* description, const char* vid, const char* pid,
                      const char* usbInterface) {
    PortInterface port{portName, "", description};
    port.usbVid = vid;
    port.usbPid = pid;
    port.usbInterface = usbInterface;
    return port;
}

TEST_F(RunControlTest, TheTablesMatchSectionAddsTerminalsAndNamesWhatItIgnores) {
    ASSERT_TRUE(WriteProfileString(TableFile(), "Match", "Description1", "QV41C Loader"));
    ASSERT_TRUE(WriteProfileString(TableFile(), "Match", "UsbId1", "1782:4d00:02"));
    ASSERT_TRUE(WriteProfileString(TableFile(), "Match", "UsbId2", "1782"));
    StartWith({UsbPort("COM3", "cdc_acm", "1782", "4d00", "02"), UsbPort("COM4", "cdc_acm", "1782", "4d00", "00"),
               UsbPort("COM5", "QV41C Loader", "", "", ""), UsbPort("COM6", kTerminal, "", "", "")});
    ASSERT_EQ(sink_.messages.size(), 1U);
    EXPECT_NE(sink_.messages[0].find("UsbId2=1782"), std::string::npos) << sink_.messages[0];
    for (uint32_t port : {3U, 4U, 5U, 6U}) {
        run_->OnPortChange(port, 1);
    }
    FakeSessions::Get().AwaitStarts(3);
    EXPECT_TRUE(HasRecord(3));
    EXPECT_FALSE(HasRecord(4)) << "another interface of the same device";
    EXPECT_TRUE(HasRecord(5));
    EXPECT_TRUE(HasRecord(6)) << "the default description stays accepted";
}

TEST_F(RunControlTest, PortsNumberedForThisRunOnlyAreToldOnce) {
    PortInterface first{"COM2", "", kTerminal};
    first.numberSaved = false;
    PortInterface second{"COM3", "", kTerminal};
    second.numberSaved = false;
    StartWith({first, second, {"COM4", "", "Printer"}});
    EXPECT_TRUE(sink_.messages.empty()) << "ports present at Start are not reported";
    run_->OnPortChange(2, 1);
    run_->OnPortChange(3, 1);
    FakeSessions::Get().AwaitStarts(2);
    EXPECT_TRUE(HasRecord(2)) << "the port still gets its session";
    EXPECT_TRUE(HasRecord(3));
    ASSERT_EQ(sink_.messages.size(), 1U);
    EXPECT_EQ(sink_.messages[0], TableFile() + " cannot be written: COM2 and other new ports keep their numbers for "
                                               "this run only.");
}

TEST_F(RunControlTest, AnArrivalOpensTheChannelAndStartsTheSession) {
    StartWith({});
    run_->UpdatePortSession(6, 1);
    FakeSessions::Get().AwaitStarts(1);
    _THREAD_PARA_T* session = Record(6);
    EXPECT_EQ(FakeSessions::Get().Started(), std::vector<_THREAD_PARA_T*>{session});
    EXPECT_EQ(session->pRun, &run_->Context());
    EXPECT_EQ(session->nPort, 6U);
    EXPECT_EQ(session->bOpened, 1);
    EXPECT_NE(session->pChannel, nullptr);
    EXPECT_EQ(FakeChannelModule::Get().Events(1), (Events{"open 0 6 115200"}));
    EXPECT_EQ(run_->Context().view, &rows_);
    EXPECT_EQ(Row(6).cells[kColStep], "Connecting...");
}

TEST_F(RunControlTest, AChannelThatCannotBeMadeOrOpenedEndsTheAttempt) {
    StartWith({});
    FakeChannelModule::Get().FailCreate(true);
    run_->UpdatePortSession(2, 1);
    EXPECT_EQ(Row(2).cells[kColProgress], "Failed:CreateChannel failed");
    EXPECT_EQ(Row(2).cells[kColStatus], "Finish");
    EXPECT_FALSE(HasRecord(2));

    FakeChannelModule::Get().FailCreate(false);
    FakeChannelModule::Get().FailOpen(true);
    run_->UpdatePortSession(2, 1);
    EXPECT_EQ(Row(2).cells[kColProgress], "Failed:Open uart failed");
    EXPECT_FALSE(HasRecord(2));
    // Created but never opened: released, not closed and not leaked.
    EXPECT_EQ(FakeChannelModule::Get().Events(1), (Events{"open 0 2 115200", "release"}));
    EXPECT_EQ(run_->TakeEndedSessions(), (std::vector<uint32_t>{2, 2}));
    EXPECT_TRUE(FakeSessions::Get().Started().empty());
}

// A front end that never takes the ended sessions keeps only the latest of them.
TEST_F(RunControlTest, EndedSessionsNotTakenAreBounded) {
    StartWith({});
    FakeChannelModule::Get().FailCreate(true);
    const size_t attempts = RunControl::kEndedSessionsKept + 300;
    for (size_t i = 0; i < attempts; ++i) {
        run_->UpdatePortSession(static_cast<uint32_t>(1 + i % 7), 1);
    }
    const std::vector<uint32_t> ended = run_->TakeEndedSessions();
    ASSERT_EQ(ended.size(), RunControl::kEndedSessionsKept);
    EXPECT_EQ(ended.front(), 1 + (attempts - RunControl::kEndedSessionsKept) % 7);
    EXPECT_EQ(ended.back(), 1 + (attempts - 1) % 7);
    EXPECT_TRUE(run_->TakeEndedSessions().empty());
}

TEST_F(RunControlTest, WatcherThreadThatCannotStartLeavesTheRunStopped) {
    if (!testing::kAddressSpaceLimitUsable) {
        GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
    }
    // A new thread's stack does not fit in a megabyte more of address space, unless the
    // process kept the stack of an earlier thread (a run of the whole suite in one process).
    constexpr int kThreadStarted = 2;
    const int outcome = testing::RunWithLittleMemory(
        [this] {
            if (run_->OnStart()) {
                return kThreadStarted;
            }
            return sink_.messages == std::vector<std::string>{kThreadFailedMessage} && !run_->Running() &&
                           !run_->TimerArmed() && !run_->Watcher()->ThreadExists()
                       ? 0
                       : 1;
        },
        uint64_t{1} << 20);
    if (outcome == kThreadStarted) {
        GTEST_SKIP() << "a kept thread stack let the watcher start; run this test in a process of its own";
    }
    EXPECT_EQ(outcome, 0);
}

TEST_F(RunControlTest, AFailedOpenOnAKnownPortClearsItsRecordsChannel) {
    StartWith({});
    run_->UpdatePortSession(4, 1);
    run_->UpdatePortSession(4, 0);
    FakeChannelModule::Get().FailOpen(true);
    run_->UpdatePortSession(4, 1);
    ASSERT_TRUE(HasRecord(4));  // the record stays for the next appearance
    EXPECT_EQ(Record(4)->pChannel, nullptr);
    EXPECT_EQ(FakeChannelModule::Get().Events(2), (Events{"open 0 4 115200", "release"}));
}

// A driver may keep a read pending after its device has gone; the session's I/O is cancelled
// before its thread is waited for, on unplug and on Stop alike, and only while it runs.
TEST_F(RunControlTest, TearDownCancelsTheIoOfRunningSessionsOnly) {
    StartWith({});
    run_->UpdatePortSession(5, 1);
    run_->UpdatePortSession(6, 1);
    run_->UpdatePortSession(7, 1);
    FakeSessions::Get().AwaitStarts(3);
    FakeSessions::Get().Finish(Record(7));
    run_->UpdatePortSession(5, 0);
    EXPECT_EQ(FakeChannelModule::Get().Cancels(1), 1);
    EXPECT_EQ(FakeChannelModule::Get().Cancels(2), 0);
    gate_.Open();  // the scripted watcher's passes no longer wait
    run_->OnStop();
    EXPECT_EQ(FakeChannelModule::Get().Cancels(1), 1);
    EXPECT_EQ(FakeChannelModule::Get().Cancels(2), 1);
    EXPECT_EQ(FakeChannelModule::Get().Cancels(3), 0);
}

TEST_F(RunControlTest, UnplugEndsTheSessionAndReleasesItsChannel) {
    StartWith({});
    run_->UpdatePortSession(5, 1);
    FakeSessions::Get().AwaitStarts(1);
    run_->UpdatePortSession(5, 0);

    _THREAD_PARA_T* session = Record(5);
    EXPECT_FALSE(session->pThread.joinable());
    EXPECT_TRUE(session->bFinished);
    EXPECT_EQ(session->bOpened, 0);
    EXPECT_EQ(session->pChannel, nullptr);
    EXPECT_EQ(FakeChannelModule::Get().Events(1), (Events{"open 0 5 115200", "close", "release"}));
    EXPECT_EQ(Row(5).cells[kColStatus], "Unplugged");
    EXPECT_EQ(Row(5).cells[kColStep], "Waiting...");
    // Cut short, it has ended all the same: the front end reports it.
    EXPECT_EQ(run_->TakeEndedSessions(), (std::vector<uint32_t>{5}));
    EXPECT_TRUE(run_->TakeEndedSessions().empty());
}

TEST_F(RunControlTest, AReplugReusesTheRecordAndTheRow) {
    StartWith({});
    run_->UpdatePortSession(5, 1);
    FakeSessions::Get().AwaitStarts(1);
    _THREAD_PARA_T* first = Record(5);
    run_->UpdatePortSession(5, 0);
    EXPECT_EQ(run_->TakeEndedSessions(), (std::vector<uint32_t>{5}));
    run_->UpdatePortSession(5, 1);
    FakeSessions::Get().AwaitStarts(2);

    EXPECT_EQ(Record(5), first);
    EXPECT_FALSE(first->bStop);
    EXPECT_EQ(rows_.Snapshot().size(), 1U);
    EXPECT_EQ(Row(5).cells[kColStatus], "Downloading main app");
    EXPECT_EQ(FakeChannelModule::Get().Events(2), (Events{"open 0 5 115200"}));
    FakeSessions::Get().Finish(first);
    EXPECT_EQ(run_->TakeEndedSessions(), (std::vector<uint32_t>{5}));
    EXPECT_EQ(Row(5).cells[kColProgress], "Passed");
}

TEST_F(RunControlTest, AFinishedSessionKeepsItsChannelUntilThePortGoes) {
    StartWith({});
    run_->UpdatePortSession(1, 1);
    run_->UpdatePortSession(2, 1);
    FakeSessions::Get().AwaitStarts(2);
    FakeSessions::Get().Finish(Record(2));
    EXPECT_EQ(run_->TakeEndedSessions(), (std::vector<uint32_t>{2}));
    EXPECT_TRUE(run_->TakeEndedSessions().empty());
    EXPECT_FALSE(Record(2)->pThread.joinable());
    EXPECT_EQ(FakeChannelModule::Get().Events(2), (Events{"open 0 2 115200"}));

    // Finished and then unplugged before anyone asked: still heard of once.
    FakeSessions::Get().Finish(Record(1));
    run_->UpdatePortSession(1, 0);
    EXPECT_EQ(run_->TakeEndedSessions(), (std::vector<uint32_t>{1}));
    EXPECT_EQ(Row(1).cells[kColProgress], "Unplugged");
    EXPECT_EQ(FakeChannelModule::Get().Events(1), (Events{"open 0 1 115200", "close", "release"}));
}

TEST_F(RunControlTest, AnArrivalOverAnUnreportedRemovalEndsTheOldSessionFirst) {
    StartWith({});
    run_->UpdatePortSession(8, 1);
    FakeSessions::Get().AwaitStarts(1);
    run_->UpdatePortSession(8, 1);  // the removal in between was lost
    FakeSessions::Get().AwaitStarts(2);
    EXPECT_EQ(FakeChannelModule::Get().Events(1), (Events{"open 0 8 115200", "close", "release"}));
    EXPECT_EQ(FakeChannelModule::Get().Events(2), (Events{"open 0 8 115200"}));
    EXPECT_EQ(run_->Sessions().size(), 1U);
    // The old session's last report came before the row was reset for the new one.
    EXPECT_EQ(Row(8).cells[kColProgress], "In progress");
    EXPECT_EQ(Row(8).cells[kColTime], "0");
}

TEST_F(RunControlTest, StopEndsEverySessionAndEmptiesTheList) {
    StartWith({});
    for (uint32_t port = 1; port <= 4; ++port) {
        run_->UpdatePortSession(port, 1);
    }
    FakeSessions::Get().AwaitStarts(4);
    FakeSessions::Get().Finish(Record(3));
    gate_.Open();
    run_->OnStop();

    EXPECT_FALSE(run_->Running());
    EXPECT_FALSE(run_->TimerArmed());
    EXPECT_FALSE(run_->Watcher()->ThreadExists());
    EXPECT_TRUE(run_->Sessions().empty());
    EXPECT_TRUE(rows_.Snapshot().empty());
    for (int id = 1; id <= 4; ++id) {
        EXPECT_EQ(FakeChannelModule::Get().Events(id).back(), "release") << id;
    }
    EXPECT_TRUE(run_->TakeEndedSessions().empty());
}

TEST_F(RunControlTest, EverySessionRecordBeginsAndEndsOnce) {
    StartWith({});
    EXPECT_EQ(run_->Context().events, &events_);  // the engine's sessions report to the same keepers
    // Binding positions as the rows show them: COM5 is bound to 1, others take the next.

    FakeChannelModule::Get().FailCreate(true);
    run_->UpdatePortSession(2, 1);
    FakeChannelModule::Get().FailCreate(false);
    EXPECT_EQ(events_.Take(), (Events{"began 2 #2", "result 2 failed - CreateChannel failed", "ended 2"}));

    run_->UpdatePortSession(5, 1);
    FakeSessions::Get().AwaitStarts(1);
    run_->UpdatePortSession(5, 0);
    run_->UpdatePortSession(5, 0);  // a second removal ends nothing more
    EXPECT_EQ(events_.Take(), (Events{"began 5 #1", "step 5 9 0", "ended 5"}));

    run_->UpdatePortSession(5, 1);
    FakeSessions::Get().AwaitStarts(2);
    run_->UpdatePortSession(5, 1);  // the removal in between was lost
    FakeSessions::Get().AwaitStarts(3);
    EXPECT_EQ(events_.Take(), (Events{"began 5 #1", "ended 5", "began 5 #1"}));

    FakeSessions::Get().Finish(Record(5));
    run_->TakeEndedSessions();
    run_->UpdatePortSession(5, 0);  // a terminal taken away after its session ended
    EXPECT_EQ(events_.Take(), (Events{"ended 5"}));

    run_->UpdatePortSession(6, 1);
    FakeSessions::Get().AwaitStarts(4);
    gate_.Open();
    run_->OnStop();
    EXPECT_EQ(events_.Take(), (Events{"began 6 #2", "ended 6"}));
}

TEST_F(RunControlTest, TheTickAdvancesRowsOnlyWhileArmed) {
    rows_.AddRow(1);
    rows_.SetStep(1, kStepConnecting, 0, 0);
    rows_.SetStep(1, kStepMainApp, 1, 10);
    run_->OnTimer();
    EXPECT_EQ(Row(1).cells[kColTime], "0");
    StartWith({});
    run_->OnTimer();
    EXPECT_EQ(Row(1).cells[kColTime], "1");
}

// ---- the outcomes a front end keeps: one per session, closed when it ends ----

class RunRecordsTest : public RunControlTest {
protected:
    RunRecordsTest() {
        run_.reset();
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<testing::ScriptedPorts>(ports_), gate_);
        parts.sessionEntry = &FakeSessions::Body;
        parts.view = &records_.View();
        parts.events = &records_.Events();
        parts.tableFile = TableFile();
        run_ = std::make_unique<RunControl>(app_, rows_, sink_, [](uint32_t, int) { return true; }, std::move(parts));
        records_.AddFinishedListener([this](const TerminalOutcome& outcome) { heard_.push_back(outcome); });
    }
    // Run control goes first: its Stop still reports to the records.
    ~RunRecordsTest() override {
        gate_.Open();
        run_.reset();
    }

    // Collects and gives "port result message" per outcome collected now.
    std::vector<std::string> Collect() {
        const size_t before = records_.Finished().size();
        records_.Collect(*run_);
        std::vector<std::string> taken;
        for (size_t i = before; i < records_.Finished().size(); ++i) {
            const TerminalOutcome& o = records_.Finished()[i];
            taken.push_back(std::to_string(o.nPort) + " " + (o.passed ? "Passed " : "Failed ") + o.message);
        }
        return taken;
    }

    testing::TempDir logs_;
    RunRecords records_{rows_, logs_.Path(), nullptr};
    std::vector<TerminalOutcome> heard_;  // what the finished-terminal listener was given
};

TEST_F(RunRecordsTest, ARunEndingWithSessionsMidTransferReportsThemAsStoppedFailures) {
    // However the run ends (timeout, count, Ctrl-C in the console; Stop or closing in the
    // window), the front end calls Stop and then collects.
    StartWith({});
    run_->UpdatePortSession(1, 1);
    run_->UpdatePortSession(2, 1);
    FakeSessions::Get().AwaitStarts(2);
    FakeSessions::Get().Finish(Record(1));
    EXPECT_EQ(Collect(), (std::vector<std::string>{"1 Passed PASS"}));

    gate_.Open();
    run_->OnStop();
    EXPECT_EQ(Collect(), (std::vector<std::string>{"2 Failed Stopped"}));
    ASSERT_EQ(heard_.size(), 2U);
    const TerminalOutcome& stopped = heard_[1];
    EXPECT_FALSE(stopped.passed);
    EXPECT_FALSE(stopped.logFile.empty());
    EXPECT_NE(stopped.sessionId, heard_[0].sessionId);
    EXPECT_TRUE(Collect().empty());
}

TEST_F(RunRecordsTest, APassedTerminalRepluggedBeforeCollectKeepsItsPassAndItsLog) {
    struct Case {
        const char* name;
        bool unplugFirst;  // the removal is seen, or lost and the arrival ends the old session
    };
    for (const Case c : {Case{"unplugged then plugged", true}, Case{"plugged over a lost removal", false}}) {
        SCOPED_TRACE(c.name);
        FakeSessions::Get().Reset();
        const size_t before = records_.Finished().size();
        if (!run_->Running()) {
            StartWith({});
        }
        run_->UpdatePortSession(5, 1);
        FakeSessions::Get().AwaitStarts(1);
        FakeSessions::Get().Finish(Record(5));
        if (c.unplugFirst) {
            run_->UpdatePortSession(5, 0);
        }
        run_->UpdatePortSession(5, 1);
        FakeSessions::Get().AwaitStarts(2);
        FakeSessions::Get().Finish(Record(5));
        run_->UpdatePortSession(5, 0);

        EXPECT_EQ(Collect(), (std::vector<std::string>{"5 Passed PASS", "5 Passed PASS"}));
        ASSERT_EQ(records_.Finished().size(), before + 2);
        const TerminalOutcome& first = records_.Finished()[before];
        const TerminalOutcome& second = records_.Finished()[before + 1];
        EXPECT_NE(first.sessionId, second.sessionId);
        EXPECT_FALSE(first.logFile.empty());
        EXPECT_NE(first.logFile, second.logFile);
        EXPECT_EQ(first.bindingPosition, "1");
    }
}

TEST(RunControlLifetime, DestroyingARunningControlStopsItsSessions) {
    FakeChannelModule::Get().Reset();
    FakeSessions::Get().Reset();
    CKorvaneAppDownloadApp app;
    app.pfnCreateChannel = &FakeChannelModule::Create;
    app.pfnReleaseChannel = &FakeChannelModule::Release;
    PortRows rows(app);
    testing::RecordingMessageSink sink;
    testing::PassGate gate;
    gate.Open();
    {
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(
            std::make_unique<testing::ScriptedPorts>(std::make_shared<testing::ScriptedPorts::Shared>()), gate);
        parts.sessionEntry = &FakeSessions::Body;
        RunControl run(app, rows, sink, [](uint32_t, int) { return true; }, std::move(parts));
        ASSERT_TRUE(run.OnStart());
        run.UpdatePortSession(3, 1);
        FakeSessions::Get().AwaitStarts(1);
    }
    EXPECT_EQ(app.b_running, 0);
    EXPECT_EQ(FakeChannelModule::Get().Events(1), (Events{"open 0 3 115200", "close", "release"}));
}

// A session reads the plan's image until it is told to stop. Run control, the one owner of
// session threads, has ended it when it goes, so shut-down may then free the image.
std::atomic<bool> g_reading{false};
std::atomic<bool> g_sawFreedData{false};
std::atomic<bool> g_returned{false};

int ReadImageUntilStopped(_THREAD_PARA_T* para) {
    while (!para->bStop) {
        const std::span<const uint8_t> image = para->pRun->plan->mainImage;
        if (image.size() != 4096 || image[4095] != 0xA5) {
            g_sawFreedData = true;
        }
        g_reading = true;
    }
    g_returned = true;
    para->bFinished = true;
    return 0;
}

TEST(RunControlLifetime, SessionsReadingThePlanHaveEndedBeforeShutDownFreesTheData) {
    FakeChannelModule::Get().Reset();
    CKorvaneAppDownloadApp app;
    app.pfnCreateChannel = &FakeChannelModule::Create;
    app.pfnReleaseChannel = &FakeChannelModule::Release;
    app.images.b_downloadApp = 1;
    app.images.b_appLoaded = 1;
    app.images.imageCount = 1;
    app.images.mainImage.assign(4096, 0xA5);
    app.images.mainImageSize = 4096;
    PortRows rows(app);
    testing::RecordingMessageSink sink;
    testing::PassGate gate;
    gate.Open();
    {
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(
            std::make_unique<testing::ScriptedPorts>(std::make_shared<testing::ScriptedPorts::Shared>()), gate);
        parts.sessionEntry = &ReadImageUntilStopped;
        RunControl run(app, rows, sink, [](uint32_t, int) { return true; }, std::move(parts));
        ASSERT_TRUE(run.OnStart());
        run.UpdatePortSession(7, 1);
        while (!g_reading) {
            std::this_thread::yield();
        }
    }
    EXPECT_TRUE(g_returned);
    app.ExitInstance();
    EXPECT_FALSE(g_sawFreedData);
    EXPECT_EQ(app.b_running, 0);
    EXPECT_TRUE(app.images.mainImage.empty());
}

}  // namespace
}  // namespace korvane
