// The watcher's rules, one polling pass at a time, over a scripted port list.
#include "discovery/dev_hound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/discovery/watcher_fakes.h"

namespace korvane {
namespace {

using testing::PassGate;
using testing::RecordingPoster;
using testing::ScriptedPorts;
using Change = RecordingPoster::Change;

PortInterface Port(const std::string& portName, const std::string& desc = "", const std::string& friendly = "") {
    return PortInterface{portName, friendly, desc};
}

TEST(ParsePortNumber, TakesTheNumberAfterAnUppercaseCom) {
    const struct {
        const char* name;
        int number;
    } cases[] = {
        {"COM3", 3},   {"COM12", 12},  {"COM7x", 7}, {"COM65535", 65535},
        {"", 0},       {"LPT1", 0},    {"COM0", 0},  {"COM", 0},
        {"com3", 0},   {"COM-3", 0},   {" COM3", 0}, {"COM99999999999", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParsePortNumber(c.name), c.number) << '"' << c.name << '"';
    }
}

class DevHoundTest : public ::testing::Test {
protected:
    DevHoundTest() : shared_(std::make_shared<ScriptedPorts::Shared>()) {
        hound_ = std::make_unique<CDevHound>(std::make_unique<ScriptedPorts>(shared_), gate_);
        hound_->SetNotifyTarget([this](uint32_t nPort, int lParam) { return poster_.Post(nPort, lParam); });
    }

    ~DevHoundTest() override {
        gate_.Open();
        hound_.reset();
    }

    void SetPorts(std::vector<PortInterface> ports) {
        std::lock_guard lock(shared_->mutex);
        shared_->ports = std::move(ports);
    }

    void StartAndFinishFirstPass() {
        hound_->Start();
        gate_.AwaitFirstPass();
    }

    std::string NameOf(uint32_t nPort) {
        std::string name = "untouched";
        hound_->GetPortName(nPort, name);
        return name;
    }

    PassGate gate_;
    std::shared_ptr<ScriptedPorts::Shared> shared_;
    RecordingPoster poster_;
    std::unique_ptr<CDevHound> hound_;
};

TEST_F(DevHoundTest, PortsPresentAtStartAreListedSilently) {
    SetPorts({Port("COM4"), Port("COM1"), Port("COM9")});
    StartAndFinishFirstPass();
    gate_.RunPass();
    gate_.RunPass();
    EXPECT_TRUE(poster_.Changes().empty());
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{4, 1, 9}));
}

TEST_F(DevHoundTest, NamesOfListedPortsFollowTheNamingRules) {
    SetPorts({
        Port("COM3"),
        Port("COM5", "Unisoc Usb Serial Port 0", "Unisoc Usb Serial Port 0 (COM5)"),
        Port("COM6", "", "Printer (COM6)"),
        Port("LPT1", "Parallel"),
        Port("", "No name"),
        Port("COM0", "Zero"),
    });
    StartAndFinishFirstPass();
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{3, 5, 6}));
    EXPECT_EQ(NameOf(3), "COM3");  // no friendly name: COMn stands in
    EXPECT_EQ(NameOf(5), "Unisoc Usb Serial Port 0");
    EXPECT_EQ(NameOf(6), "Printer (COM6)");
    EXPECT_EQ(NameOf(0), "untouched");
    EXPECT_EQ(NameOf(2), "untouched");  // never seen
}

TEST_F(DevHoundTest, PlugAndUnplugAfterTheFirstPassAreReportedOnce) {
    SetPorts({Port("COM1")});
    StartAndFinishFirstPass();

    SetPorts({Port("COM1"), Port("COM8", "Unisoc Usb Serial Port 0")});
    gate_.RunPass();
    gate_.RunPass();
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{8, 1}}));
    EXPECT_EQ(NameOf(8), "Unisoc Usb Serial Port 0");

    SetPorts({Port("COM1")});
    gate_.RunPass();
    gate_.RunPass();
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{8, 1}, {8, 0}}));
    EXPECT_EQ(NameOf(8), "Unisoc Usb Serial Port 0");  // a removed port still answers

    SetPorts({Port("COM1"), Port("COM8", "Unisoc Usb Serial Port 1")});
    gate_.RunPass();
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{8, 1}, {8, 0}, {8, 1}}));
    EXPECT_EQ(NameOf(8), "Unisoc Usb Serial Port 1");
}

TEST_F(DevHoundTest, RemovingTheMiddlePortKeepsTheOthersInOrder) {
    SetPorts({Port("COM2"), Port("COM7"), Port("COM4")});
    StartAndFinishFirstPass();
    SetPorts({Port("COM2"), Port("COM4")});
    gate_.RunPass();
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{2, 4}));
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{7, 0}}));
}

TEST_F(DevHoundTest, SeveralPortsGoingAtOnceAreEachReported) {
    SetPorts({Port("COM1"), Port("COM2"), Port("COM3"), Port("COM4")});
    StartAndFinishFirstPass();
    SetPorts({Port("COM3")});
    gate_.RunPass();
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{3}));
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{1, 0}, {2, 0}, {4, 0}}));
}

TEST_F(DevHoundTest, OneNumberTwiceInAPassIsOneEntryWithTheLaterNames) {
    SetPorts({Port("COM5", "first"), Port("COM5", "second")});
    StartAndFinishFirstPass();
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{5}));
    EXPECT_EQ(NameOf(5), "second");
    gate_.RunPass();
    EXPECT_TRUE(poster_.Changes().empty());
}

TEST_F(DevHoundTest, APortWhoseNameCannotBeReadCountsAsGone) {
    SetPorts({Port("COM5")});
    StartAndFinishFirstPass();
    SetPorts({Port("")});
    gate_.RunPass();
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{5, 0}}));
}

TEST_F(DevHoundTest, APostIsTriedThreeTimesThenLost) {
    StartAndFinishFirstPass();

    poster_.RefuseNext(2);
    SetPorts({Port("COM1")});
    gate_.RunPass();
    EXPECT_EQ(poster_.Attempts(), 3);
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{1, 1}}));

    poster_.RefuseNext(3);
    SetPorts({Port("COM1"), Port("COM2")});
    gate_.RunPass();
    EXPECT_EQ(poster_.Attempts(), 6);
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{1, 1}}));
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{1, 2}));  // listed all the same
}

TEST_F(DevHoundTest, StartTwiceRunsOnePollingThread) {
    SetPorts({Port("COM1")});
    hound_->Start();
    hound_->Start();
    gate_.AwaitFirstPass();
    gate_.RunPass();
    gate_.RunPass();
    std::lock_guard lock(shared_->mutex);
    EXPECT_EQ(shared_->callers.size(), 1U);
}

TEST_F(DevHoundTest, StopWithoutAThreadDoesNothing) {
    hound_->Stop();
    EXPECT_FALSE(hound_->ThreadExists());
    EXPECT_TRUE(hound_->ListedPorts().empty());
}

TEST_F(DevHoundTest, AfterARestartOnlyChangesSinceTheStopAreReported) {
    SetPorts({Port("COM1"), Port("COM2")});
    StartAndFinishFirstPass();
    gate_.Open();
    hound_->Stop();
    EXPECT_FALSE(hound_->ThreadExists());
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{1, 2}));  // kept across Stop

    // While stopped COM1 went and COM3 came: the first pass of the new thread reports the
    // loss and takes COM3 in silently.
    SetPorts({Port("COM2"), Port("COM3")});
    gate_.Reset();
    StartAndFinishFirstPass();
    EXPECT_EQ(poster_.Changes(), (std::vector<Change>{{1, 0}}));
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{2, 3}));
}

TEST_F(DevHoundTest, AThreadThatCannotListEndsButStaysUntilStop) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->fail = true;
    }
    hound_->Start();
    hound_->Stop();  // the thread has ended by itself; Stop collects it
    EXPECT_FALSE(hound_->ThreadExists());
    EXPECT_TRUE(poster_.Changes().empty());
}

TEST_F(DevHoundTest, AFailedListLaterKeepsThePortsListed) {
    SetPorts({Port("COM1")});
    StartAndFinishFirstPass();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->fail = true;
    }
    gate_.Open();
    hound_->Stop();
    EXPECT_EQ(hound_->ListedPorts(), (std::vector<int>{1}));
    EXPECT_TRUE(poster_.Changes().empty());
}

TEST(DevHoundStop, AThreadOutlastingTheStopWaitIsJoinedBeforeTheNextStart) {
    PassGate gate;
    auto shared = std::make_shared<ScriptedPorts::Shared>();
    shared->ports = {PortInterface{"COM1", "", ""}};
    CDevHound hound(std::make_unique<ScriptedPorts>(shared), gate,
                    DevHoundTiming{10, std::chrono::milliseconds(20)});
    hound.Start();
    gate.AwaitFirstPass();

    // The thread is held in its pause: Stop gives up waiting, but keeps the thread.
    hound.Stop();
    EXPECT_FALSE(hound.ThreadExists());

    std::thread release([&] { gate.Open(); });
    hound.Start();  // waits for the old thread first: never two pollers on one list
    release.join();
    EXPECT_TRUE(hound.ThreadExists());
    hound.Stop();
    EXPECT_EQ(hound.ListedPorts(), (std::vector<int>{1}));
}

TEST(DevHoundStop, DestructionWaitsForAThreadThatOutlastedStop) {
    PassGate gate;
    auto shared = std::make_shared<ScriptedPorts::Shared>();
    shared->ports = {PortInterface{"COM1", "", ""}};
    std::thread release;
    {
        CDevHound hound(std::make_unique<ScriptedPorts>(shared), gate,
                        DevHoundTiming{10, std::chrono::milliseconds(20)});
        hound.Start();
        gate.AwaitFirstPass();
        hound.Stop();
        // The thread still owns the list; the destructor must not free it under the
        // thread (the sanitizers see it if it does).
        release = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            gate.Open();
        });
    }
    release.join();
}

}  // namespace
}  // namespace korvane
