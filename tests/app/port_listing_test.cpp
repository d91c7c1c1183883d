// --list-ports over a fake sysfs tree: what each port is, and whether it gets a session.
#include "app/port_listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/profile.h"
#include "tests/fixtures/sysfs_tree.h"

namespace korvane {
namespace {

using testing::SysfsTree;
using testing::UsbTtyPort;

// What a stdio stream received.
std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, n);
    }
    return text;
}

class PortListingTest : public ::testing::Test {
protected:
    PortListingTest() : out_(std::tmpfile()), err_(std::tmpfile()) {}
    ~PortListingTest() override {
        std::fclose(out_);
        std::fclose(err_);
    }

    std::string List(const std::string& tableDir = {}) {
        const PortSources sources{tree_.SysRoot(), tree_.DevRoot(), tableDir.empty() ? tree_.TableDir() : tableDir,
                                  tree_.VirtualDir(), 1000};
        EXPECT_EQ(ListPorts(sources, out_, err_), 0);
        return Contents(out_);
    }

    std::string Table() const { return tree_.TableDir() + "/ComPorts.ini"; }

    SysfsTree tree_;
    std::FILE* out_;
    std::FILE* err_;
};

TEST_F(PortListingTest, EveryPortWithWhatItIsAndWhetherItGetsASession) {
    ASSERT_TRUE(WriteProfileString(Table(), "Match", "Description1", "QV41C Loader"));
    ASSERT_TRUE(WriteProfileString(Table(), "Match", "UsbId1", "1782:4d00:02"));
    ASSERT_TRUE(WriteProfileString(Table(), "Ports", "ttyS0", "COM1"));
    const struct {
        UsbTtyPort tty;
        const char* line;
    } cases[] = {
        {{"ttyACM0", "1-1", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm", true, "1782", "4d00", "A1"},
         "COM2 location=\"pci-0000:00:14.0-usb-0:1:1.0\" description=\"Unisoc Usb Serial Port 0\" usb=\"1782:4d00\" "
         "interface=\"00\" serial=\"A1\" driver=\"cdc_acm\" session=yes"},
        {{"ttyACM1", "1-2", 0, "", "QV41C Loader", "cdc_acm", true, "1782", "4d01", ""},
         "COM3 location=\"pci-0000:00:14.0-usb-0:2:1.0\" description=\"QV41C Loader\" usb=\"1782:4d01\" "
         "interface=\"00\" serial=\"-\" driver=\"cdc_acm\" session=yes"},
        {{"ttyACM2", "1-3", 2, "", "Phone", "cdc_acm", true, "1782", "4D00", ""},
         "COM4 location=\"pci-0000:00:14.0-usb-0:3:1.2\" description=\"Phone\" usb=\"1782:4d00\" "
         "interface=\"02\" serial=\"-\" driver=\"cdc_acm\" session=yes"},
        {{"ttyACM3", "1-4", 0, "", "Phone", "cdc_acm", true, "1782", "4d00", ""},
         "COM5 location=\"pci-0000:00:14.0-usb-0:4:1.0\" description=\"Phone\" usb=\"1782:4d00\" "
         "interface=\"00\" serial=\"-\" driver=\"cdc_acm\" session=no"},
        {{"ttyUSB0", "1-5", 0, "", "", "cp210x", true, "10c4", "ea60", "0001"},
         "COM6 location=\"pci-0000:00:14.0-usb-0:5:1.0\" description=\"cp210x\" usb=\"10c4:ea60\" "
         "interface=\"00\" serial=\"0001\" driver=\"cp210x\" session=no"},
    };
    tree_.AddSerialCoreTty("ttyS0", 4);
    for (const auto& c : cases) {
        tree_.AddUsbTty(c.tty);
        // Pinned as a line would, so that the numbers do not follow the order of the folder.
        const std::string number(c.line, std::string_view(c.line).find(' '));
        ASSERT_TRUE(WriteProfileString(Table(), "Ports", SysfsTree::ByPathName(c.tty), number));
    }
    tree_.AddVirtualPort(9, "Unisoc Usb Serial Port 0");
    const std::string listing = List();
    for (const auto& c : cases) {
        EXPECT_NE(listing.find(std::string(c.line) + "\n"), std::string::npos) << c.line << "\nin\n" << listing;
    }
    EXPECT_NE(listing.find("COM1 location=\"ttyS0\" description=\"serial8250\" usb=\"-\" interface=\"-\" serial=\"-\" "
                           "driver=\"serial8250\" session=no\n"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("COM9 location=\"" + tree_.VirtualDir() + "/COM9\" description=\"Unisoc Usb Serial Port 0\""),
              std::string::npos)
        << listing;
    // Heading, then ports in number order.
    EXPECT_EQ(listing.rfind("# ", 0), 0U);
    EXPECT_LT(listing.find("COM1 "), listing.find("COM2 "));
    EXPECT_LT(listing.find("COM6 "), listing.find("COM9 "));
    EXPECT_EQ(Contents(err_), "");
}

TEST_F(PortListingTest, DeviceTextsCannotBreakTheLine) {
    tree_.AddVirtualPort(3, "evil\x1b[2J\"quoted\" back\\slash");
    const std::string listing = List();
    EXPECT_NE(listing.find("description=\"evil\\x1b[2J\\\"quoted\\\" back\\\\slash\""), std::string::npos) << listing;
    EXPECT_EQ(listing.find('\x1b'), std::string::npos);
}

TEST_F(PortListingTest, IgnoredMatchEntriesAreNoted) {
    ASSERT_TRUE(WriteProfileString(Table(), "Match", "UsbId1", "not-an-id"));
    tree_.AddUsbTty({"ttyACM0", "1-1", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"});
    EXPECT_NE(List().find("COM1 location="), std::string::npos);
    EXPECT_EQ(Contents(err_), "[Match] of " + Table() + " ignores UsbId1=not-an-id\n");
}

TEST_F(PortListingTest, NumbersTheTableCannotKeepAreMarked) {
    const std::string missing = tree_.Root() + "/no-config-yet";
    tree_.AddUsbTty({"ttyACM0", "1-1", 0, "Unisoc Usb Serial Port 0", "", "cdc_acm"});
    EXPECT_NE(List(missing).find("COM1* location="), std::string::npos);
    EXPECT_EQ(Contents(err_), missing + "/ComPorts.ini cannot be written: numbers marked * are not kept\n");
}

}  // namespace
}  // namespace korvane
