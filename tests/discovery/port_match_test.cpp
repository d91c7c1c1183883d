// Which ports are terminals: descriptions and USB ids, from the [Match] entries.
#include "discovery/port_match.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

PortInterface UsbPort(std::string description, std::string vid, std::string pid, std::string usbInterface) {
    PortInterface port;
    port.portName = "COM4";
    port.deviceDesc = std::move(description);
    port.usbVid = std::move(vid);
    port.usbPid = std::move(pid);
    port.usbInterface = std::move(usbInterface);
    return port;
}

TEST(PortMatch, DescriptionOrUsbIdMakesATerminal) {
    std::vector<std::string> refused;
    const PortMatch line = ParsePortMatch({{"Description1", "QV41C Loader"},
                                           {"UsbId1", "1782:4d00"},
                                           {"UsbId2", "0525:A4A7:02"}},
                                          refused);
    ASSERT_TRUE(refused.empty());
    const PortMatch plain;  // no [Match] section: the default description alone
    const struct {
        const char* name;
        PortInterface port;
        bool withMatch;
        bool byDefault;
    } cases[] = {
        {"default description", UsbPort(kTerminalDescription, "", "", ""), true, true},
        {"added description", UsbPort("QV41C Loader", "", "", ""), true, false},
        {"description is exact", UsbPort("QV41C Loader ", "", "", ""), false, false},
        {"description case counts", UsbPort("unisoc usb serial port 0", "", "", ""), false, false},
        {"friendly name when no description", [] { PortInterface p; p.friendlyName = "QV41C Loader"; return p; }(),
         true, false},
        {"id match, any interface", UsbPort("Phone", "1782", "4d00", "05"), true, false},
        {"id spelled in upper case by the platform", UsbPort("Phone", "1782", "4D00", "00"), true, false},
        {"interface filter passes", UsbPort("Gadget", "0525", "a4a7", "02"), true, false},
        {"interface filter refuses", UsbPort("Gadget", "0525", "a4a7", "00"), false, false},
        {"interface filter, no interface known", UsbPort("Gadget", "0525", "a4a7", ""), false, false},
        {"other product id", UsbPort("Phone", "1782", "4d01", "00"), false, false},
        {"neither", UsbPort("cp210x", "10c4", "ea60", "00"), false, false},
        {"no ids at all", UsbPort("serial8250", "", "", ""), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsTerminalPort(c.port, line), c.withMatch) << c.name;
        EXPECT_EQ(IsTerminalPort(c.port, plain), c.byDefault) << c.name << " (default)";
    }
}

TEST(PortMatch, UsbIdTexts) {
    const struct {
        const char* text;
        std::optional<UsbIdRule> rule;
    } cases[] = {
        {"1782:4d00", UsbIdRule{"1782", "4d00", std::nullopt}},
        {" 1782 : 4D00 ", UsbIdRule{"1782", "4d00", std::nullopt}},
        {"525:a4a7:2", UsbIdRule{"0525", "a4a7", "02"}},
        {"1782:4d00:0A", UsbIdRule{"1782", "4d00", "0a"}},
        {"1782", std::nullopt},
        {"1782:", std::nullopt},
        {":4d00", std::nullopt},
        {"17820:4d00", std::nullopt},
        {"1782:4d00:100", std::nullopt},
        {"1782:4d00:", std::nullopt},
        {"1782:4d00:1:2", std::nullopt},
        {"0x1782:4d00", std::nullopt},
        {"17g2:4d00", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseUsbId(c.text), c.rule) << "'" << c.text << "'";
    }
}

TEST(PortMatch, EntriesThatMeanNothingAreNamed) {
    std::vector<std::string> refused;
    const PortMatch match = ParsePortMatch({{"description7", "Loader A"},
                                            {"Description2", "Loader B"},
                                            {"UsbId3", "1782:xyz"},
                                            {"Description", "no number"},
                                            {"Description0", "zero"},
                                            {"Description1", ""},
                                            {"VendorId", "1782"}},
                                           refused);
    EXPECT_EQ(match.descriptions, (std::vector<std::string>{kTerminalDescription, "Loader A", "Loader B"}));
    EXPECT_TRUE(match.usbIds.empty());
    EXPECT_EQ(refused, (std::vector<std::string>{"UsbId3=1782:xyz", "Description=no number", "Description0=zero",
                                                 "Description1=", "VendorId=1782"}));
}

TEST(PortMatch, LoadedFromTheTablesMatchSection) {
    testing::TempDir dir;
    const std::string file = dir.File("ComPorts.ini");
    std::vector<std::string> refused;
    EXPECT_EQ(LoadPortMatch(file, refused).descriptions, std::vector<std::string>{kTerminalDescription});
    ASSERT_TRUE(WriteProfileString(file, "Ports", "ttyS0", "COM1"));
    ASSERT_TRUE(WriteProfileString(file, "Match", "UsbId1", "1782:4d00:00"));
    const PortMatch match = LoadPortMatch(file, refused);
    EXPECT_EQ(match.usbIds, (std::vector<UsbIdRule>{{"1782", "4d00", "00"}}));
    EXPECT_TRUE(refused.empty()) << "the [Ports] entries are not [Match] entries";
}

}  // namespace
}  // namespace korvane
