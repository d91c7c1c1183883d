// Simulated terminals on real pseudo-terminals, driven from the test's end of the port.
#include "sim/sim_terminal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/host_port.h"
#include "sim/wire_time.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::Bytes;
using testing::PacketFrame;
using testing::TextBytes;
using SteadyClock = std::chrono::steady_clock;

class SimTerminalTest : public ::testing::Test {
protected:
    SimTerminalConfig Config(int port, std::vector<const char*> faults = {}) {
        SimTerminalConfig config;
        config.port = port;
        config.ports_dir = dir_.Path();
        config.check = &check_;
        for (const char* rule_text : faults) {
            FaultRule rule;
            std::string error;
            EXPECT_TRUE(ParseFaultRule(rule_text, rule, error)) << error;
            config.settings.faults.push_back(rule);
        }
        config.on_event = [this](int number, const TerminalEvent& event) {
            std::lock_guard lock(events_mutex_);
            events_.push_back("COM" + std::to_string(number) + " " + event.kind);
        };
        return config;
    }

    std::unique_ptr<SimTerminal> Plugged(SimTerminalConfig config) {
        auto terminal = std::make_unique<SimTerminal>(std::move(config));
        std::string error;
        EXPECT_TRUE(terminal->Plug(error)) << error;
        return terminal;
    }

    void Connect(HostPort& host, const SimTerminal& terminal) {
        std::string error;
        ASSERT_TRUE(host.Open(terminal.LinkPath(), error)) << error;
    }

    static std::string Text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

    std::vector<std::string> Events() {
        std::lock_guard lock(events_mutex_);
        return events_;
    }

    testing::TempDir dir_;
    testing::FakeSignatureCheck check_;
    std::mutex events_mutex_;
    std::vector<std::string> events_;
};

TEST_F(SimTerminalTest, PlugPublishesTheLinkAndDescriptionAndUnplugRemovesThem) {
    SimTerminalConfig config = Config(7);
    config.description = "Some Other Port";
    auto terminal = Plugged(std::move(config));
    const std::string link = dir_.File("COM7");
    ASSERT_TRUE(fs::is_symlink(link));
    struct stat info {};
    ASSERT_EQ(::stat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    std::ifstream desc(link + ".desc");
    std::string description;
    std::getline(desc, description);
    EXPECT_EQ(description, "Some Other Port");

    HostPort host;
    Connect(host, *terminal);
    terminal->Unplug();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(link + ".desc"));
    EXPECT_TRUE(host.Gone(2s));
    EXPECT_FALSE(terminal->Plugged());
    EXPECT_EQ(Events(), (std::vector<std::string>{"COM7 plugged", "COM7 unplugged"}));
}

TEST_F(SimTerminalTest, ApplicationGoesToTheLoaderOverThePort) {
    auto terminal = Plugged(Config(1));
    HostPort host;
    Connect(host, *terminal);
    ASSERT_TRUE(host.Write(PacketFrame(5)));
    EXPECT_TRUE(host.ReadBytes(1, 300ms).empty());  // the application ignores frames
    ASSERT_TRUE(host.Write(TextBytes("READ TUSN")));
    EXPECT_EQ(Text(host.ReadBytes(20, 2s)), DefaultTusn(1));
    ASSERT_TRUE(host.Write(TextBytes("GOTO FASTBOOT")));
    EXPECT_EQ(Text(host.ReadBytes(4, 2s)), "OKAY");
    ASSERT_TRUE(host.Write(PacketFrame(5)));
    const auto answer = testing::DecodeAnswer(host.ReadFrame(2s));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->text, std::string(kDefaultVersionText));
    EXPECT_EQ(terminal->Mode(), TerminalMode::kLoader);
    EXPECT_TRUE(terminal->WaitUntil([](const TerminalRecord& r) { return r.packets.size() == 1; }, 2s));
    EXPECT_EQ(terminal->Snapshot().Sequence(), (std::vector<std::string>{"READ TUSN", "GOTO FASTBOOT", "5"}));
    const auto events = Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "COM1 mode"), events.end());
}

TEST_F(SimTerminalTest, ThePortSurvivesTheToolClosingAndReopeningIt) {
    SimTerminalConfig config = Config(2);
    config.settings.start_mode = TerminalMode::kLoader;
    auto terminal = Plugged(std::move(config));
    for (int round = 0; round < 2; ++round) {
        HostPort host;
        Connect(host, *terminal);
        ASSERT_TRUE(host.Write(PacketFrame(48, TextBytes("0"))));
        const auto answer = testing::DecodeAnswer(host.ReadFrame(2s));
        ASSERT_TRUE(answer) << "round " << round;
        EXPECT_EQ(answer->status, 1U);
    }
}

TEST_F(SimTerminalTest, DelayHoldsTheAnswerBack) {
    SimTerminalConfig config = Config(3, {"delay=400:cmd=5"});
    config.settings.start_mode = TerminalMode::kLoader;
    auto terminal = Plugged(std::move(config));
    HostPort host;
    Connect(host, *terminal);
    const auto sent = SteadyClock::now();
    ASSERT_TRUE(host.Write(PacketFrame(5)));
    ASSERT_TRUE(terminal->WaitUntil([](const TerminalRecord& r) { return !r.packets.empty(); }, 2s));
    EXPECT_TRUE(terminal->Status().answering);  // held back: not finished yet
    ASSERT_TRUE(testing::DecodeAnswer(host.ReadFrame(3s)));
    EXPECT_GE(SteadyClock::now() - sent, 400ms);
    const auto deadline = SteadyClock::now() + 2s;
    while (terminal->Status().answering && SteadyClock::now() < deadline) {
        std::this_thread::sleep_for(5ms);  // the thread notes the answer gone just after writing it
    }
    EXPECT_FALSE(terminal->Status().answering);
}

TEST_F(SimTerminalTest, UnplugAtAPacketRemovesThePortInsteadOfAnswering) {
    SimTerminalConfig config = Config(4, {"unplug-at:packet=2"});
    config.settings.start_mode = TerminalMode::kLoader;
    auto terminal = Plugged(std::move(config));
    HostPort host;
    Connect(host, *terminal);
    ASSERT_TRUE(host.Write(PacketFrame(48, TextBytes("0"))));
    ASSERT_TRUE(testing::DecodeAnswer(host.ReadFrame(2s)));
    ASSERT_TRUE(host.Write(PacketFrame(0, testing::BlockStart(100))));
    EXPECT_TRUE(terminal->WaitUnplugged(2s));
    EXPECT_TRUE(host.Gone(2s));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.File("COM4"))));
    EXPECT_EQ(terminal->Snapshot().packets.back().fault, "unplug-at");
}

TEST_F(SimTerminalTest, NoiseAndCutReachTheWireAsTheySay) {
    SimTerminalConfig config = Config(5, {"noise=30:cmd=48", "cut:cmd=5"});
    config.settings.start_mode = TerminalMode::kLoader;
    auto terminal = Plugged(std::move(config));
    HostPort host;
    Connect(host, *terminal);
    ASSERT_TRUE(host.Write(PacketFrame(48, TextBytes("0"))));
    const Bytes noisy = host.ReadBytes(30 + 10, 2s);
    ASSERT_EQ(noisy.size(), 40U);
    EXPECT_EQ(std::find(noisy.begin(), noisy.end(), uint8_t{0x7E}) - noisy.begin(), 30);
    EXPECT_EQ(testing::DecodeAnswer(noisy)->status, 1U);

    ASSERT_TRUE(host.Write(PacketFrame(5)));
    const Bytes half = host.ReadBytes(1000, 500ms);
    EXPECT_FALSE(half.empty());
    EXPECT_FALSE(testing::DecodeAnswer(half));
    ASSERT_TRUE(host.Write(PacketFrame(48, TextBytes("0"))));
    EXPECT_TRUE(host.ReadBytes(1, 300ms).empty());  // nothing more after the cut
}

TEST_F(SimTerminalTest, PacingMakesBytesTakeTheirWireTime) {
    SimTerminalConfig config = Config(6);
    config.settings.start_mode = TerminalMode::kLoader;
    config.baud = 9600;
    auto terminal = Plugged(std::move(config));
    HostPort host;
    Connect(host, *terminal);
    const Bytes request = PacketFrame(5);
    const auto sent = SteadyClock::now();
    ASSERT_TRUE(host.Write(request));
    const Bytes answer = host.ReadFrame(5s);
    ASSERT_TRUE(testing::DecodeAnswer(answer));
    // The request's bytes must be through the line before the terminal can answer, and the
    // answer's bytes before the answer is complete.
    const auto least = WireTime(request.size() + answer.size(), 9600);
    EXPECT_GE(SteadyClock::now() - sent, least);
}

TEST_F(SimTerminalTest, PluggingAgainStartsAFreshTerminal) {
    SimTerminalConfig config = Config(8);
    config.settings.tusn = DefaultTusn(8);
    auto terminal = Plugged(std::move(config));
    HostPort host;
    Connect(host, *terminal);
    ASSERT_TRUE(host.Write(TextBytes("GOTO FASTBOOT")));
    ASSERT_EQ(Text(host.ReadBytes(4, 2s)), "OKAY");
    terminal->Unplug();
    host.Close();
    EXPECT_FALSE(terminal->Snapshot().texts.empty());  // the last record stays readable

    std::string error;
    ASSERT_TRUE(terminal->Plug(error)) << error;
    EXPECT_FALSE(terminal->Plug(error));
    EXPECT_EQ(terminal->Mode(), TerminalMode::kApplication);
    EXPECT_TRUE(terminal->Snapshot().texts.empty());
    Connect(host, *terminal);
    ASSERT_TRUE(host.Write(TextBytes("READ TUSN")));
    EXPECT_EQ(Text(host.ReadBytes(20, 2s)), DefaultTusn(8));
}

TEST_F(SimTerminalTest, PlugRefusesAMissingFolderOrAPortNameTaken) {
    SimTerminalConfig config = Config(9);
    config.ports_dir.clear();
    SimTerminal no_folder(std::move(config));
    std::string error;
    EXPECT_FALSE(no_folder.Plug(error));
    EXPECT_FALSE(error.empty());

    std::ofstream(dir_.File("COM10")) << "not a link";
    SimTerminal taken(Config(10));
    error.clear();
    EXPECT_FALSE(taken.Plug(error));
    EXPECT_NE(error.find("COM10"), std::string::npos);
    EXPECT_FALSE(taken.Plugged());
}

TEST_F(SimTerminalTest, WinePrefixGetsTheDeviceLinkWhilePluggedIn) {
    const std::string prefix = dir_.File("wine");
    fs::create_directories(prefix + "/dosdevices");
    const std::string dos_link = prefix + "/dosdevices/com7";
    fs::create_symlink("/dev/null", dos_link);  // left over from an earlier run
    SimTerminalConfig config = Config(7);
    config.wine_prefix = prefix;
    auto terminal = Plugged(std::move(config));
    ASSERT_TRUE(fs::is_symlink(dos_link));
    EXPECT_EQ(fs::read_symlink(dos_link), fs::read_symlink(terminal->LinkPath()));

    HostPort host;
    ASSERT_NO_FATAL_FAILURE(Connect(host, *terminal));
    terminal->Unplug();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dos_link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(terminal->LinkPath())));
}

TEST_F(SimTerminalTest, WinePrefixThatCannotTakeTheLinkRefusesThePlug) {
    struct Case {
        const char* name;
        bool make_dosdevices;
        bool com_is_file;
    };
    const Case cases[] = {
        {"not a Wine prefix", false, false},
        {"com11 is a file", true, true},
    };
    for (const Case& c : cases) {
        const std::string prefix = dir_.File(std::string("wine-") + (c.com_is_file ? "file" : "none"));
        fs::create_directories(c.make_dosdevices ? prefix + "/dosdevices" : prefix);
        if (c.com_is_file) {
            std::ofstream(prefix + "/dosdevices/com11") << "a real file";
        }
        SimTerminalConfig config = Config(11);
        config.wine_prefix = prefix;
        SimTerminal terminal(std::move(config));
        std::string error;
        EXPECT_FALSE(terminal.Plug(error)) << c.name;
        EXPECT_NE(error.find(prefix), std::string::npos) << c.name << ": " << error;
        EXPECT_FALSE(terminal.Plugged()) << c.name;
        // The tool never sees a port it could not open.
        EXPECT_FALSE(fs::exists(fs::symlink_status(terminal.LinkPath()))) << c.name;
        if (c.com_is_file) {
            EXPECT_TRUE(fs::is_regular_file(prefix + "/dosdevices/com11")) << c.name;
        }
    }
}

TEST_F(SimTerminalTest, ManyTerminalsServeTheirPortsAtOnce) {
    constexpr int kTerminals = 4;
    std::vector<std::unique_ptr<SimTerminal>> terminals;
    for (int i = 0; i < kTerminals; ++i) {
        SimTerminalConfig config = Config(20 + i);
        config.settings.start_mode = TerminalMode::kLoader;
        terminals.push_back(Plugged(std::move(config)));
    }
    std::vector<std::thread> hosts;
    std::atomic<int> stored{0};
    for (int i = 0; i < kTerminals; ++i) {
        hosts.emplace_back([&, i] {
            HostPort host;
            std::string error;
            if (!host.Open(terminals[i]->LinkPath(), error)) {
                return;
            }
            const Bytes logo = testing::PatternBytes(5000, static_cast<uint8_t>(i));
            std::vector<Bytes> payloads = {testing::BlockStart(5000)};
            for (size_t offset = 0; offset < logo.size(); offset += 1536) {
                payloads.push_back(testing::BlockData(
                    0, std::span(logo).subspan(offset, std::min<size_t>(1536, logo.size() - offset))));
            }
            payloads.push_back(testing::BlockEnd());
            for (const Bytes& payload : payloads) {
                if (!host.Write(PacketFrame(11, payload))) {
                    return;
                }
                const auto answer = testing::DecodeAnswer(host.ReadFrame(3s));
                if (!answer || answer->status != 1) {
                    return;
                }
            }
            if (terminals[i]->Snapshot().logo == logo) {
                ++stored;
            }
        });
    }
    for (std::thread& host : hosts) {
        host.join();
    }
    EXPECT_EQ(stored, kTerminals);
}

}  // namespace
}  // namespace korvane::sim
