// The channel module over a pseudo-terminal published as a virtual port: the test holds the
// terminal's side (the master) and the module opens the port side by number.

#include "modules/channel/channel_abi.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/modules/built_module.h"
#include "tests/platform/test_files.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <numeric>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

using Steady = std::chrono::steady_clock;

// The terminal's end of a pseudo-terminal pair.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        port_side_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PseudoTerminal() { Unplug(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& PortSide() const { return port_side_; }

    void Send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What arrives until nothing more comes for quiet_ms.
    std::vector<uint8_t> Receive(int quiet_ms = 200) {
        std::vector<uint8_t> bytes;
        pollfd entry{master_, POLLIN, 0};
        while (::poll(&entry, 1, quiet_ms) > 0 && (entry.revents & POLLIN) != 0) {
            uint8_t chunk[4096];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got <= 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    void Unplug() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    std::string port_side_;
};

std::vector<uint8_t> EveryByteValue() {
    std::vector<uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    return bytes;
}

long MsSince(Steady::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count());
}

class ChannelModuleTest : public ::testing::Test {
protected:
    static constexpr uint32_t kPort = 41;

    static void SetUpTestSuite() { module_ = testing::LoadBuiltModule("Ruduvar9.so"); }

    void SetUp() override {
        ASSERT_NE(module_, nullptr) << LastModuleError();
        auto create = testing::EntryPoint<CreateChannelFn>(module_, "CreateChannel");
        release_ = testing::EntryPoint<ReleaseChannelFn>(module_, "ReleaseChannel");
        ASSERT_NE(create(&channel_, 0), 0);
        ASSERT_NE(channel_, nullptr);
        std::filesystem::create_symlink(terminal_.PortSide(), ports_.File("COM" + std::to_string(kPort)));
    }
    void TearDown() override { release_(channel_); }

    int32_t Open(uint32_t port = kPort, uint32_t baud = 115200, uint32_t kind = 0) {
        const ChannelConfig config{kind, port, baud};
        return channel_->vtbl->Open(channel_, &config);
    }
    int32_t Read(void* buffer, uint32_t capacity, uint32_t wait_ms) {
        return channel_->vtbl->Read(channel_, buffer, capacity, wait_ms, 0);
    }
    int32_t Write(const std::vector<uint8_t>& bytes) {
        return channel_->vtbl->Write(channel_, bytes.data(), static_cast<uint32_t>(bytes.size()), 0);
    }
    // Reads until count bytes came or a read gives nothing.
    std::vector<uint8_t> ReadBytes(size_t count) {
        std::vector<uint8_t> bytes;
        uint8_t chunk[512];
        while (bytes.size() < count) {
            const int32_t got = Read(chunk, sizeof chunk, 500);
            if (got <= 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    static inline ModuleHandle module_ = nullptr;
    ReleaseChannelFn release_ = nullptr;
    IChannel* channel_ = nullptr;
    PseudoTerminal terminal_;
    testing::TempDir ports_;
    testing::ScopedEnv virtual_ports_{"KORVANE_VIRTUAL_PORTS", ports_.Path()};
};

TEST_F(ChannelModuleTest, EveryByteValuePassesBothWaysUnchanged) {
    ASSERT_NE(Open(), 0) << channel_->vtbl->GetLastError(channel_);
    EXPECT_EQ(channel_->vtbl->IsOpen(channel_), 1);
    // Raw mode: no newline translation, no flow-control or signal characters, no echo.
    const std::vector<uint8_t> bytes = EveryByteValue();
    EXPECT_EQ(Write(bytes), 256);
    EXPECT_EQ(terminal_.Receive(), bytes);
    terminal_.Send(bytes);
    EXPECT_EQ(ReadBytes(bytes.size()), bytes);
    EXPECT_TRUE(terminal_.Receive(50).empty()) << "nothing echoed back";
}

TEST_F(ChannelModuleTest, ReadTakesAtMostItsCapacity) {
    ASSERT_NE(Open(), 0);
    terminal_.Send({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    char buffer[16] = {};
    ASSERT_EQ(Read(buffer, 4, 500), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(Read(buffer, sizeof buffer, 500), 6);
    EXPECT_EQ(std::string(buffer, 6), "456789");
    EXPECT_EQ(Read(buffer, 0, 500), 0);
}

TEST_F(ChannelModuleTest, ReadWithNothingComingReturnsZeroAfterItsWait) {
    ASSERT_NE(Open(), 0);
    char buffer[16];
    auto start = Steady::now();
    EXPECT_EQ(Read(buffer, sizeof buffer, 60), 0);
    const long waited = MsSince(start);
    EXPECT_GE(waited, 50);
    EXPECT_LT(waited, 1000);
    start = Steady::now();
    EXPECT_EQ(Read(buffer, sizeof buffer, 0), 0);
    EXPECT_LT(MsSince(start), 500);
}

TEST_F(ChannelModuleTest, UnpluggedTerminalGivesErrorsNotHangs) {
    ASSERT_NE(Open(), 0);
    terminal_.Unplug();
    char buffer[16];
    const auto start = Steady::now();
    EXPECT_EQ(Read(buffer, sizeof buffer, 5000), -1);
    EXPECT_EQ(Write({'C', 'H', 'E', 'C', 'K'}), -1);
    EXPECT_LT(MsSince(start), 2000) << "a gone device is reported at once, not after the waits";
    EXPECT_NE(channel_->vtbl->GetLastError(channel_), 0);
    channel_->vtbl->Close(channel_);
}

TEST_F(ChannelModuleTest, WriteGivesUpWhenTheTerminalStopsReading) {
    ASSERT_NE(Open(), 0);
    ASSERT_EQ(channel_->vtbl->SetWriteTimeout(channel_, 200), 1);
    const std::vector<uint8_t> frame(1 << 20, 0x7E);
    const auto start = Steady::now();
    EXPECT_EQ(Write(frame), -1);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(channel_->vtbl->GetLastError(channel_), ETIMEDOUT);
}

// Without being told otherwise, a Write still ends: a stalled terminal cannot hold a session.
TEST_F(ChannelModuleTest, WriteHasABoundByDefault) {
    ASSERT_NE(Open(), 0);
    const std::vector<uint8_t> frame(1 << 20, 0x7E);
    const auto start = Steady::now();
    EXPECT_EQ(Write(frame), -1);
    EXPECT_LT(MsSince(start), 5000);
    EXPECT_EQ(channel_->vtbl->GetLastError(channel_), ETIMEDOUT);
}

// WriteWhile tells a stuck terminal (time-out) from a gone one, and a stop ends its wait
// within a slice instead of at the end of the write limit.
TEST_F(ChannelModuleTest, WriteWhileEndsOnAStopAndNamesItsFailure) {
    ASSERT_NE(Open(), 0);
    const std::vector<uint8_t> frame(1 << 20, 0x7E);
    const auto write_while = [this, &frame](int32_t (*keep_going)(void*), void* context) {
        return channel_->vtbl->WriteWhile(channel_, frame.data(), static_cast<uint32_t>(frame.size()), keep_going,
                                          context);
    };
    struct StopAfter {
        Steady::time_point at;
        static int32_t KeepGoing(void* self) { return Steady::now() < static_cast<StopAfter*>(self)->at ? 1 : 0; }
    };

    StopAfter stop{Steady::now() + std::chrono::milliseconds(300)};
    auto start = Steady::now();
    EXPECT_EQ(write_while(&StopAfter::KeepGoing, &stop), CHANNEL_WRITE_STOPPED);
    EXPECT_GE(MsSince(start), 290);
    EXPECT_LT(MsSince(start), 300 + 200) << "the default write limit is 2000 ms";

    ASSERT_EQ(channel_->vtbl->SetWriteTimeout(channel_, 200), 1);
    stop.at = Steady::now() + std::chrono::hours(1);
    start = Steady::now();
    EXPECT_EQ(write_while(&StopAfter::KeepGoing, &stop), CHANNEL_WRITE_TIMED_OUT);
    EXPECT_EQ(write_while(nullptr, nullptr), CHANNEL_WRITE_TIMED_OUT);
    EXPECT_LT(MsSince(start), 2000);

    terminal_.Unplug();
    EXPECT_EQ(write_while(&StopAfter::KeepGoing, &stop), CHANNEL_WRITE_FAILED);
}

TEST_F(ChannelModuleTest, MissingBuffersAreRefused) {
    ASSERT_NE(Open(), 0);
    EXPECT_EQ(Read(nullptr, 16, 10), -1);
    EXPECT_EQ(channel_->vtbl->Write(channel_, nullptr, 16, 0), -1);
    EXPECT_EQ(channel_->vtbl->GetLastError(channel_), EINVAL);
    EXPECT_EQ(channel_->vtbl->Write(channel_, nullptr, 0, 0), 0);
    EXPECT_EQ(channel_->vtbl->IsOpen(channel_), 1);
}

TEST_F(ChannelModuleTest, CloseIsIdempotentAndTheChannelReopens) {
    ASSERT_NE(Open(), 0);
    channel_->vtbl->Close(channel_);
    channel_->vtbl->Close(channel_);
    EXPECT_EQ(channel_->vtbl->IsOpen(channel_), 0);
    char buffer[4];
    EXPECT_EQ(Read(buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(Write({1}), -1);
    ASSERT_NE(Open(), 0);
    EXPECT_EQ(Write({'A'}), 1);
    EXPECT_EQ(terminal_.Receive(), std::vector<uint8_t>{'A'});
}

TEST_F(ChannelModuleTest, OpenRefusesWhatItCannotServe) {
    std::filesystem::create_symlink("/dev/null", ports_.File("COM42"));
    struct Refusal {
        const char* what;
        uint32_t kind, port, baud;
        int32_t error;
    };
    for (const Refusal& r : {Refusal{"no such port", 0, 99, 115200, ENOENT},
                             Refusal{"port zero", 0, 0, 115200, EINVAL},
                             Refusal{"other kind", 1, kPort, 115200, EINVAL},
                             Refusal{"odd baud rate", 0, kPort, 12345, EINVAL},
                             Refusal{"not a terminal", 0, 42, 115200, ENOTTY}}) {
        EXPECT_EQ(Open(r.port, r.baud, r.kind), 0) << r.what;
        EXPECT_EQ(channel_->vtbl->GetLastError(channel_), r.error) << r.what;
        EXPECT_EQ(channel_->vtbl->IsOpen(channel_), 0) << r.what;
    }
    EXPECT_EQ(channel_->vtbl->Open(channel_, nullptr), 0);
}

TEST(ChannelModule, CreateRefusesANullSlotAndReleaseTakesNull) {
    ModuleHandle module = testing::LoadBuiltModule("Ruduvar9.so");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(testing::EntryPoint<CreateChannelFn>(module, "CreateChannel")(nullptr, 0), 0);
    testing::EntryPoint<ReleaseChannelFn>(module, "ReleaseChannel")(nullptr);
}

}  // namespace
}  // namespace korvane
