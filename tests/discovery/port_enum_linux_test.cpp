// The Linux port list over a fake sysfs and /dev tree, and the watcher on top of it.
#include "discovery/port_enum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "discovery/dev_hound.h"
#include "platform/port_numbers.h"
#include "platform/profile.h"
#include "tests/discovery/watcher_fakes.h"
#include "tests/fixtures/sysfs_tree.h"

namespace korvane {
namespace {

using testing::SysfsTree;
using testing::UsbTtyPort;

class PortEnumTest : public ::testing::Test {
protected:
    PortSources Sources(bool withVirtual = false) const {
        return PortSources{tree_.SysRoot(), tree_.DevRoot(), tree_.TableDir(), withVirtual ? tree_.VirtualDir() : ""};
    }

    std::vector<PortInterface> List(IPortEnumerator& ports) {
        std::vector<PortInterface> found;
        EXPECT_TRUE(ports.List(found));
        return found;
    }

    // The port the table gave to a location.
    std::string TableEntry(const std::string& location) const {
        return ReadProfileString(tree_.TableDir() + "/ComPorts.ini", "Ports", location).value_or("");
    }

    SysfsTree tree_;
};

TEST_F(PortEnumTest, DescriptionComesFromInterfaceThenProductThenDriver) {
    const struct {
        UsbTtyPort tty;
        const char* description;
    } cases[] = {
        {{"ttyACM0", "1-1", 0, "Unisoc Usb Serial Port 0", "Unisoc Phone", "cdc_acm"}, "Unisoc Usb Serial Port 0"},
        {{"ttyACM1", "1-2", 0, "", "Unisoc Phone", "cdc_acm"}, "Unisoc Phone"},
        {{"ttyUSB0", "1-3", 0, "", "", "cp210x"}, "cp210x"},
    };
    for (const auto& c : cases) {
        tree_.AddUsbTty(c.tty);
    }
    auto ports = MakePortEnumerator(Sources());
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), std::size(cases));
    for (const auto& c : cases) {
        const std::string location = SysfsTree::ByPathName(c.tty);
        const std::string portName = TableEntry(location);
        ASSERT_FALSE(portName.empty()) << location;
        const auto port = std::find_if(found.begin(), found.end(), [&](auto& p) { return p.portName == portName; });
        ASSERT_NE(port, found.end()) << portName;
        EXPECT_EQ(port->deviceDesc, c.description);
        EXPECT_EQ(port->friendlyName, std::string(c.description) + " (" + portName + ")");
    }
}

TEST_F(PortEnumTest, UsbPortsCarryLocationIdsSerialAndDriver) {
    const UsbTtyPort acm{"ttyACM0", "1-1", 2, "", "Phone", "cdc_acm", true, "1782", "4D00", "SN-17"};
    const UsbTtyPort bridge{"ttyUSB0", "1-2", 0, "", "", "cp210x", true, "10C4", "ea60", ""};
    tree_.AddUsbTty(acm);
    tree_.AddUsbTty(bridge);
    tree_.AddSerialCoreTty("ttyS0", 4);
    tree_.AddVirtualPort(9, "Unisoc Usb Serial Port 0");
    auto ports = MakePortEnumerator(Sources(true));
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), 4U);
    const auto byLocation = [&](const std::string& location) {
        const auto it = std::find_if(found.begin(), found.end(), [&](auto& p) { return p.location == location; });
        EXPECT_NE(it, found.end()) << location;
        return it != found.end() ? *it : PortInterface{};
    };
    const PortInterface first = byLocation(SysfsTree::ByPathName(acm));
    EXPECT_EQ(first.usbVid, "1782");
    EXPECT_EQ(first.usbPid, "4d00");  // hex digits in lower case whatever the kernel shows
    EXPECT_EQ(first.usbInterface, "02");
    EXPECT_EQ(first.serial, "SN-17");
    EXPECT_EQ(first.driver, "cdc_acm");
    EXPECT_TRUE(first.numberSaved);
    const PortInterface second = byLocation(SysfsTree::ByPathName(bridge));
    EXPECT_EQ(second.usbVid + ":" + second.usbPid, "10c4:ea60");
    EXPECT_EQ(second.driver, "cp210x");
    EXPECT_EQ(second.serial, "");
    const PortInterface onboard = byLocation("ttyS0");
    EXPECT_EQ(onboard.driver, "serial8250");
    EXPECT_EQ(onboard.usbVid + onboard.usbPid + onboard.usbInterface, "");
    EXPECT_EQ(byLocation(tree_.VirtualDir() + "/COM9").portName, "COM9");
}

TEST_F(PortEnumTest, ALateByPathNameDoesNotRenumberAPresentPort) {
    tree_.AddSerialCoreTty("ttyS0", 4);  // COM1
    UsbTtyPort late{"ttyACM0", "1-6", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"};
    late.byPath = false;
    tree_.AddUsbTty(late);
    PortSources sources = Sources();
    sources.byPathGraceMs = 0;  // udev was slower than the wait for its name
    auto ports = MakePortEnumerator(sources);
    const auto before = List(*ports);
    const auto port = [](const std::vector<PortInterface>& list) {
        const auto it = std::find_if(list.begin(), list.end(), [](auto& p) { return p.driver == "cdc_acm"; });
        return it != list.end() ? *it : PortInterface{};
    };
    ASSERT_EQ(port(before).location, "ttyACM0");
    ASSERT_EQ(port(before).portName, "COM2");

    tree_.AddByPathLink(late);
    const auto after = List(*ports);
    EXPECT_EQ(port(after).portName, "COM2") << "a running session keeps its port";
    EXPECT_EQ(port(after).location, SysfsTree::ByPathName(late));
    EXPECT_EQ(List(*ports).size(), 2U);
    // The table follows the port to its socket's name, so the socket keeps COM2 next time.
    EXPECT_EQ(TableEntry(SysfsTree::ByPathName(late)), "COM2");
    EXPECT_EQ(TableEntry("ttyACM0"), "");
    EXPECT_EQ(PortNumberTable(tree_.TableDir()).LocationOf(2), SysfsTree::ByPathName(late));
}

TEST_F(PortEnumTest, ALateByPathNameWithANumberOfItsOwnLeavesTheTableAlone) {
    UsbTtyPort late{"ttyACM0", "1-6", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"};
    late.byPath = false;
    const std::string table = tree_.TableDir() + "/ComPorts.ini";
    ASSERT_TRUE(WriteProfileString(table, "Ports", SysfsTree::ByPathName(late), "COM7"));
    tree_.AddUsbTty(late);
    PortSources sources = Sources();
    sources.byPathGraceMs = 0;
    auto ports = MakePortEnumerator(sources);
    ASSERT_EQ(List(*ports).at(0).portName, "COM1");
    tree_.AddByPathLink(late);
    EXPECT_EQ(List(*ports).at(0).portName, "COM1") << "kept while present";
    EXPECT_EQ(TableEntry(SysfsTree::ByPathName(late)), "COM7") << "the operator's number stays";
    EXPECT_EQ(TableEntry("ttyACM0"), "COM1");
}

TEST_F(PortEnumTest, PortsStillGetNumbersWhenTheTableCannotBeWritten) {
    PortSources sources = Sources();
    sources.tableDir = tree_.Root() + "/read-only-or-missing";
    tree_.AddSerialCoreTty("ttyS0", 4);
    tree_.AddUsbTty({"ttyACM0", "1-1", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"});
    tree_.AddUsbTty({"ttyACM1", "1-2", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"});
    std::vector<std::string> names;
    {
        auto ports = MakePortEnumerator(sources);
        for (int pass = 0; pass < 2; ++pass) {
            names.clear();
            for (const PortInterface& p : List(*ports)) {
                names.push_back(p.portName);
                EXPECT_FALSE(p.numberSaved) << p.portName;
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM3"})) << "pass " << pass;
        }
        EXPECT_TRUE(std::filesystem::exists(RunNumbersFile()));
    }
    EXPECT_FALSE(std::filesystem::exists(RunNumbersFile())) << "the run's numbers go with the enumerator";
}

TEST_F(PortEnumTest, OnlyTtysWithADeviceAndAUartArePorts) {
    tree_.AddVirtualConsole("tty0");
    tree_.AddVirtualConsole("ptmx");
    tree_.AddSerialCoreTty("ttyS0", 4);  // 16550A fitted
    tree_.AddSerialCoreTty("ttyS1", 0);  // no UART behind the slot
    auto ports = MakePortEnumerator(Sources());
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].deviceDesc, "serial8250");
    EXPECT_EQ(found[0].portName, TableEntry("ttyS0"));  // no by-path name: the kernel name
    EXPECT_EQ(found[0].portName, "COM1");
}

TEST_F(PortEnumTest, TheSameSocketKeepsItsNumberAcrossReplugs) {
    const UsbTtyPort left{"ttyACM0", "1-4", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"};
    const UsbTtyPort right{"ttyACM1", "1-5", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"};
    tree_.AddUsbTty(left);
    tree_.AddUsbTty(right);
    auto ports = MakePortEnumerator(Sources());
    List(*ports);
    const std::string leftName = TableEntry(SysfsTree::ByPathName(left));
    const std::string rightName = TableEntry(SysfsTree::ByPathName(right));
    EXPECT_NE(leftName, rightName);

    // The terminal comes back in the right socket under another kernel name.
    tree_.RemoveTty("ttyACM0");
    tree_.RemoveTty("ttyACM1");
    List(*ports);
    UsbTtyPort replugged = right;
    replugged.kernelName = "ttyACM0";
    tree_.AddUsbTty(replugged);
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].portName, rightName);

    // A new enumerator (the next program run) reads the same numbers from the table.
    auto nextRun = MakePortEnumerator(Sources());
    EXPECT_EQ(List(*nextRun).at(0).portName, rightName);
}

TEST_F(PortEnumTest, VirtualPortsAreListedBesideRealOnes) {
    tree_.AddVirtualPort(7, "Unisoc Usb Serial Port 0");
    tree_.AddVirtualPort(0, "Zero");
    std::ofstream(tree_.VirtualDir() + "/COM8") << "not a device";
    tree_.AddSerialCoreTty("ttyS0", 4);
    auto ports = MakePortEnumerator(Sources(true));
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[1].portName, "COM7");
    EXPECT_EQ(found[1].deviceDesc, "Unisoc Usb Serial Port 0");
    EXPECT_EQ(found[1].friendlyName, "Unisoc Usb Serial Port 0 (COM7)");
}

TEST_F(PortEnumTest, VirtualPortsComeAndGoUnderAFolderUnchangedForLong) {
    tree_.AddVirtualPort(4, "Unisoc Usb Serial Port 0");
    const auto longAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(tree_.VirtualDir(), longAgo);
    auto ports = MakePortEnumerator(Sources(true));
    ASSERT_EQ(List(*ports).size(), 1U);
    ASSERT_EQ(List(*ports).size(), 1U);  // the folder's listing is kept while it is unchanged

    tree_.AddVirtualPort(5, "Unisoc Usb Serial Port 0");
    EXPECT_EQ(List(*ports).size(), 2U);
    std::filesystem::last_write_time(tree_.VirtualDir(), longAgo);
    tree_.RemoveVirtualPort(4);
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].portName, "COM5");
}

TEST_F(PortEnumTest, WithoutAnyPortSourceNoListIsTaken) {
    PortSources missing = Sources();
    missing.sysfsRoot = tree_.Root() + "/nowhere";
    std::vector<PortInterface> found;
    EXPECT_FALSE(MakePortEnumerator(missing)->List(found));

    // Virtual ports alone still make a list.
    missing.virtualDir = tree_.VirtualDir();
    tree_.AddVirtualPort(3, "Unisoc Usb Serial Port 0");
    EXPECT_TRUE(MakePortEnumerator(missing)->List(found));
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].portName, "COM3");
}

TEST_F(PortEnumTest, OverlongDescriptionsAreCutOnACharacterBoundary) {
    std::string longText(kPortTextMax - 1, 'x');
    longText += "\xC3\xA9\xC3\xA9";  // two-byte characters across the limit
    tree_.AddUsbTty({"ttyACM0", "1-1", 0, longText, "", "cdc_acm"});
    auto ports = MakePortEnumerator(Sources());
    const auto found = List(*ports);
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].deviceDesc, std::string(kPortTextMax - 1, 'x'));
    EXPECT_LE(found[0].friendlyName.size(), kPortTextMax);
}

TEST_F(PortEnumTest, WatcherReportsTerminalsPluggedIntoTheTree) {
    testing::PassGate gate;
    testing::RecordingPoster poster;
    tree_.AddSerialCoreTty("ttyS0", 4);
    tree_.AddVirtualPort(5, "Unisoc Usb Serial Port 0");
    {
        CDevHound hound(MakePortEnumerator(Sources(true)), gate);
        hound.SetNotifyTarget([&](uint32_t nPort, int lParam) { return poster.Post(nPort, lParam); });
        hound.Start();
        gate.AwaitFirstPass();

        tree_.AddVirtualPort(6, "Unisoc Usb Serial Port 0");
        tree_.AddUsbTty({"ttyACM0", "1-1", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"});
        gate.RunPass();
        tree_.RemoveVirtualPort(5);
        gate.RunPass();
        gate.RunPass();

        std::string name;
        EXPECT_TRUE(hound.GetPortName(6, name));
        EXPECT_EQ(name, "Unisoc Usb Serial Port 0");
        gate.Open();
    }
    // ttyS0 took COM1 before the run; the USB terminal gets the lowest free number, COM2.
    using Change = testing::RecordingPoster::Change;
    EXPECT_EQ(poster.Changes(), (std::vector<Change>{{2, 1}, {6, 1}, {5, 0}}));
}

}  // namespace
}  // namespace korvane
