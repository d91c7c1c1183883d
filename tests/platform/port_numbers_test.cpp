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
    TempDir config_;
    ScopedEnv no_virtual_{"KORVANE_VIRTUAL_PORTS", std::nullopt};
    std::string TableFile() const { return config_.File("ComPorts.ini"); }
};

TEST_F(PortTableTest, NewLocationsGetTheLowestFreeNumberOnce) {
    PortNumberTable table(config_.path());
    EXPECT_EQ(table.NumberFor("pci-0000:00:14.0-usb-0:1:1.0"), 1);
    EXPECT_EQ(table.NumberFor("pci-0000:00:14.0-usb-0:2:1.0"), 2);
    EXPECT_EQ(table.NumberFor("pci-0000:00:14.0-usb-0:1:1.0"), 1);
    EXPECT_EQ(ReadBytes(TableFile()),
              "[Ports]\npci-0000:00:14.0-usb-0:1:1.0=COM1\npci-0000:00:14.0-usb-0:2:1.0=COM2\n");
    // A second table object over the same folder (another thread, the channel module) agrees.
    EXPECT_EQ(PortNumberTable(config_.path()).LocationOf(2), "pci-0000:00:14.0-usb-0:2:1.0");
    EXPECT_EQ(table.LocationOf(3), std::nullopt);
}

TEST_F(PortTableTest, OperatorPinnedNumbersAreKeptAndSkipped) {
    WriteBytes(TableFile(), "; fixture layout\n[ports]\nTTYS0 = com3\nusb-b=COM1\n");
    PortNumberTable table(config_.path());
    EXPECT_EQ(table.NumberFor("ttyS0"), 3);
    EXPECT_EQ(table.NumberFor("usb-b"), 1);
    EXPECT_EQ(table.NumberFor("usb-c"), 2);
    EXPECT_EQ(table.NumberFor("usb-d"), 4);
    EXPECT_EQ(table.LocationOf(3), "TTYS0");
    EXPECT_EQ(ReadBytes(TableFile()), "; fixture layout\n[ports]\nTTYS0 = com3\nusb-b=COM1\nusb-c=COM2\nusb-d=COM4\n");
}

TEST_F(PortTableTest, UnreadableEntryIsReassigned) {
    WriteBytes(TableFile(), "[Ports]\nusb-a=COMX\nusb-b=COM1\n");
    PortNumberTable table(config_.path());
    EXPECT_EQ(table.NumberFor("usb-a"), 2);
    EXPECT_EQ(ReadProfileString(TableFile(), "Ports", "usb-a"), "COM2");
}

TEST_F(PortTableTest, EmptyLocationOrUnwritableFolderGivesZero) {
    EXPECT_EQ(PortNumberTable(config_.path()).NumberFor(""), 0);
    EXPECT_EQ(PortNumberTable(config_.File("missing")).NumberFor("usb-a"), 0);
}

TEST_F(PortTableTest, PresentVirtualPortNumbersAreTaken) {
    TempDir ports;
    fs::create_symlink("/dev/null", ports.File("COM1"));
    ScopedEnv virtual_ports("KORVANE_VIRTUAL_PORTS", ports.path());
    EXPECT_EQ(PortNumberTable(config_.path()).NumberFor("usb-a"), 2);
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

    const auto list = ListVirtualPorts(ports.path());
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
    ScopedEnv config_env_{"KORVANE_CONFIG_DIR", config_.path()};
    ScopedEnv ports_env_{"KORVANE_VIRTUAL_PORTS", ports_.path()};
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

    EXPECT_EQ(DeviceForLocation("usb-0:1:1.0", dev.path()), dev.File("serial/by-path/usb-0:1:1.0"));
    EXPECT_EQ(DeviceForLocation("ttyS0", dev.path()), dev.File("ttyS0"));
    for (const char* refused : {"notadevice", "absent", "", ".", "..", "serial/by-path/usb-0:1:1.0"}) {
        EXPECT_EQ(DeviceForLocation(refused, dev.path()), std::nullopt) << refused;
    }
}

}  // namespace
}  // namespace korvane
