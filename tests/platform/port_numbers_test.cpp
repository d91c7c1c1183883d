// Port numbers: the table's numbering, virtual ports and the device a number leads to.

#include "platform/port_numbers.h"
#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteBytes;

TEST(PortNumberFromName, AcceptsOnlyComAndANumber) {
    struct Case {
        const char* name;
        int number;
    };
    for (const Case& c : {Case{"COM1", 1}, Case{"com12", 12}, Case{" COM3 \r\n", 3}, Case{"CoM65535", 65535},
                          Case{"COM0", 0}, Case{"COM", 0}, Case{"COM1a", 0}, Case{"COM-1", 0}, Case{"COM+1", 0},
                          Case{"COM65536", 0}, Case{"COM99999999999", 0}, Case{"LPT1", 0}, Case{"", 0},
                          Case{"COM 1", 0}}) {
        EXPECT_EQ(PortNumberFromName(c.name), c.number) << "'" << c.name << "'";
    }
}

class PortTableTest : public ::testing::Test {
protected:
    void TearDown() override { Table().ForgetRunNumbers(); }
    PortNumberTable Table() const { return PortNumberTable(config_.Path(), RunFile()); }
    int NumberFor(const std::string& location) const { return Table().NumberFor(location).number; }
    std::string TableFile() const { return config_.File("ComPorts.ini"); }
    std::string RunFile() const { return run_.File("ComPorts-run.ini"); }

    TempDir config_;
    TempDir run_;
    ScopedEnv no_virtual_{"KORVANE_VIRTUAL_PORTS", std::nullopt};
};

TEST_F(PortTableTest, NewLocationsGetTheLowestFreeNumberOnce) {
    EXPECT_EQ(NumberFor("pci-0000:00:14.0-usb-0:1:1.0"), 1);
    EXPECT_EQ(NumberFor("pci-0000:00:14.0-usb-0:2:1.0"), 2);
    EXPECT_EQ(NumberFor("pci-0000:00:14.0-usb-0:1:1.0"), 1);
    EXPECT_TRUE(Table().NumberFor("pci-0000:00:14.0-usb-0:2:1.0").saved);
    EXPECT_EQ(ReadBytes(TableFile()),
              "[Ports]\npci-0000:00:14.0-usb-0:1:1.0=COM1\npci-0000:00:14.0-usb-0:2:1.0=COM2\n");
    // A second table object over the same folder (another thread, the channel module) agrees.
    EXPECT_EQ(PortNumberTable(config_.Path()).LocationOf(2), "pci-0000:00:14.0-usb-0:2:1.0");
    EXPECT_EQ(Table().LocationOf(3), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(RunFile()));
}

TEST_F(PortTableTest, OperatorPinnedNumbersAreKeptAndSkipped) {
    WriteBytes(TableFile(), "; fixture layout\n[ports]\nTTYS0 = com3\nusb-b=COM1\n");
    EXPECT_EQ(NumberFor("ttyS0"), 3);
    EXPECT_EQ(NumberFor("usb-b"), 1);
    EXPECT_EQ(NumberFor("usb-c"), 2);
    EXPECT_EQ(NumberFor("usb-d"), 4);
    EXPECT_EQ(Table().LocationOf(3), "TTYS0");
    EXPECT_EQ(ReadBytes(TableFile()), "; fixture layout\n[ports]\nTTYS0 = com3\nusb-b=COM1\nusb-c=COM2\nusb-d=COM4\n");
}

TEST_F(PortTableTest, UnreadableEntryIsReassigned) {
    WriteBytes(TableFile(), "[Ports]\nusb-a=COMX\nusb-b=COM1\n");
    EXPECT_EQ(NumberFor("usb-a"), 2);
    EXPECT_EQ(ReadProfileString(TableFile(), "Ports", "usb-a"), "COM2");
}

TEST_F(PortTableTest, EmptyLocationGetsNoNumber) {
    EXPECT_EQ(NumberFor(""), 0);
    EXPECT_EQ(NumberFor("  "), 0);
}

// What the table cannot store is numbered for this run: the same number on every call, none
// handed out twice, and found by number through the run file (as the channel module looks).
TEST_F(PortTableTest, NumbersTheTableCannotStoreHoldForTheRun) {
    const struct {
        const char* name;
        std::string table;     // contents of ComPorts.ini; empty: the folder is missing
        std::string location;
    } cases[] = {
        {"missing folder", "", "usb-a"},
        // "[Ports]\r\nusb-b=COM1\r\n" as UTF-16LE with BOM, and a location that is no UTF-8.
        {"UTF-16 table, location not UTF-8",
         std::string("\xFF\xFE[\0P\0o\0r\0t\0s\0]\0\r\0\n\0u\0s\0b\0-\0b\0=\0C\0O\0M\0" "1\0\r\0\n\0", 42),
         "usb-\xFF\xFE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = c.table.empty() ? config_.File("missing") : config_.Path();
        if (!c.table.empty()) {
            WriteBytes(TableFile(), c.table);
        }
        PortNumberTable table(folder, RunFile());
        const AssignedNumber first = table.NumberFor(c.location);
        EXPECT_FALSE(first.saved);
        ASSERT_GT(first.number, 0);
        EXPECT_EQ(table.NumberFor(c.location).number, first.number) << "the same port, the same number";
        if (!c.table.empty()) {
            EXPECT_EQ(ReadBytes(TableFile()), c.table) << "no U+FFFD key was written";
            EXPECT_EQ(first.number, 2) << "the table's own numbers stay taken";
        }
        EXPECT_NE(table.NumberFor("usb-c").number, first.number);
        EXPECT_EQ(ReadProfileString(RunFile(), "Ports", c.location), "COM" + std::to_string(first.number));
        table.ForgetRunNumbers();
        EXPECT_FALSE(std::filesystem::exists(RunFile()));
        EXPECT_EQ(table.LocationOf(first.number), std::nullopt);
    }
}

TEST_F(PortTableTest, RelocateMovesAnEntryToTheNameThePortIsNowKnownBy) {
    WriteBytes(TableFile(), "[Ports]\nusb-pinned=COM5\n");
    ASSERT_EQ(NumberFor("ttyACM0"), 1);
    Table().Relocate("ttyACM0", "usb-1", 1);
    EXPECT_EQ(ReadBytes(TableFile()), "[Ports]\nusb-pinned=COM5\nusb-1=COM1\n");
    Table().Relocate("usb-1", "usb-pinned", 1);  // the new name has its own number
    Table().Relocate("usb-1", "usb-2", 2);       // not the number recorded
    EXPECT_EQ(ReadBytes(TableFile()), "[Ports]\nusb-pinned=COM5\nusb-1=COM1\n");

    // Numbers held for the run move the same way, in memory and in the run file.
    PortNumberTable unwritable(config_.File("missing"), RunFile());
    const int kept = unwritable.NumberFor("ttyACM1").number;
    unwritable.Relocate("ttyACM1", "usb-3", kept);
    EXPECT_EQ(unwritable.NumberFor("usb-3").number, kept);
    EXPECT_EQ(ReadProfileString(RunFile(), "Ports", "usb-3"), "COM" + std::to_string(kept));
    EXPECT_EQ(ReadProfileString(RunFile(), "Ports", "ttyACM1"), std::nullopt);
}

TEST_F(PortTableTest, PresentVirtualPortNumbersAreTaken) {
    TempDir ports;
    fs::create_symlink("/dev/null", ports.File("COM1"));
    ScopedEnv virtual_ports("KORVANE_VIRTUAL_PORTS", ports.Path());
    EXPECT_EQ(NumberFor("usb-a"), 2);
}

TEST(PortTableDir, ConfiguredFolderElseTheExecutables) {
    {
        ScopedEnv config("KORVANE_CONFIG_DIR", "/srv/line-4");
        EXPECT_EQ(PortTableDir(), "/srv/line-4");
    }
    ScopedEnv config("KORVANE_CONFIG_DIR", std::nullopt);
    EXPECT_EQ(PortTableDir(), fs::path(fs::read_symlink("/proc/self/exe")).parent_path().string());
}

TEST(VirtualPorts, OnlyComLinksToCharacterDevicesCount) {
    TempDir ports;
    fs::create_symlink("/dev/null", ports.File("COM7"));
    WriteBytes(ports.File("COM7.desc"), "  Unisoc Usb Serial Port 0 \n");
    fs::create_symlink("/dev/zero", ports.File("COM12"));  // no description file
    WriteBytes(ports.File("COM8"), "a plain file");
    fs::create_symlink(ports.File("gone"), ports.File("COM9"));  // dangling: unplugged
    fs::create_symlink("/dev/null", ports.File("COM07"));
    fs::create_symlink("/dev/null", ports.File("com5"));
    fs::create_symlink("/dev/null", ports.File("ttyUSB0"));
    WriteBytes(ports.File("COM3.desc"), "left over");

    const auto list = ListVirtualPorts(ports.Path());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].number, 7);
    EXPECT_EQ(list[0].device, ports.File("COM7"));
    EXPECT_EQ(list[0].description, "Unisoc Usb Serial Port 0");
    EXPECT_EQ(list[1].number, 12);
    EXPECT_EQ(list[1].description, "");

    EXPECT_TRUE(ListVirtualPorts("").empty());
    EXPECT_TRUE(ListVirtualPorts(ports.File("missing")).empty());
}

class DeviceForPortTest : public ::testing::Test {
protected:
    TempDir config_;
    TempDir ports_;
    ScopedEnv config_env_{"KORVANE_CONFIG_DIR", config_.Path()};
    ScopedEnv ports_env_{"KORVANE_VIRTUAL_PORTS", ports_.Path()};
};

TEST_F(DeviceForPortTest, VirtualPortFirstThenTheTable) {
    WriteBytes(config_.File("ComPorts.ini"), "[Ports]\nnull=COM5\nzero=COM6\n../dev/null=COM7\nnothere=COM8\n");
    fs::create_symlink("/dev/zero", ports_.File("COM5"));

    EXPECT_EQ(DeviceForPort(5), ports_.File("COM5"));
    EXPECT_EQ(DeviceForPort(6), "/dev/zero");
    EXPECT_EQ(DeviceForPort(7), std::nullopt) << "a location is a name, not a path";
    EXPECT_EQ(DeviceForPort(8), std::nullopt);
    EXPECT_EQ(DeviceForPort(9), std::nullopt);
    EXPECT_EQ(DeviceForPort(0), std::nullopt);
    EXPECT_EQ(DeviceForPort(-1), std::nullopt);
}

TEST(DeviceForLocation, BusPathBeforeKernelName) {
    TempDir dev;
    fs::create_directories(dev.File("serial/by-path"));
    fs::create_symlink("/dev/zero", dev.File("serial/by-path/usb-0:1:1.0"));
    fs::create_symlink("/dev/null", dev.File("usb-0:1:1.0"));
    fs::create_symlink("/dev/null", dev.File("ttyS0"));
    WriteBytes(dev.File("notadevice"), "x");

    EXPECT_EQ(DeviceForLocation("usb-0:1:1.0", dev.Path()), dev.File("serial/by-path/usb-0:1:1.0"));
    EXPECT_EQ(DeviceForLocation("ttyS0", dev.Path()), dev.File("ttyS0"));
    for (const char* refused : {"notadevice", "absent", "", ".", "..", "serial/by-path/usb-0:1:1.0"}) {
        EXPECT_EQ(DeviceForLocation(refused, dev.Path()), std::nullopt) << refused;
    }
}

}  // namespace
}  // namespace korvane
