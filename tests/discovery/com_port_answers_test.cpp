// From what SetupAPI and the registry answer about a COM-port interface to the record the
// watcher keeps, and the USB identity in a hardware id.

#include "discovery/com_port_answers.h"
#include "discovery/dev_hound.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

std::u16string Repeat(char16_t unit, size_t count) { return std::u16string(count, unit); }

TEST(PortFromAnswers, MapsEachAnswerToItsField) {
    struct Case {
        const char* what;
        ComPortAnswers answers;
        PortInterface expected;
        int portNumber;  // what the watcher reads from the port name; 0 drops the device
    };
    const std::u16string unisoc = u"Unisoc Usb Serial Port 0";
    const Case cases[] = {
        {"a terminal in download mode", {u"COM7", unisoc + u" (COM7)", unisoc, u"USB\\VID_1782&PID_4D00&MI_00"},
         {"COM7", "Unisoc Usb Serial Port 0 (COM7)", "Unisoc Usb Serial Port 0"}, 7},
        {"no friendly name", {u"COM3", u"", u"Communications Port", u""}, {"COM3", "", "Communications Port"}, 3},
        {"no PortName value", {u"", unisoc + u" (COM9)", unisoc, u""},
         {"", "Unisoc Usb Serial Port 0 (COM9)", "Unisoc Usb Serial Port 0"}, 0},
        {"port number 0", {u"COM0", u"Zero", u"Zero", u""}, {"COM0", "Zero", "Zero"}, 0},
        {"a printer port", {u"LPT1", u"Printer Port (LPT1)", u"Printer Port", u""},
         {"LPT1", "Printer Port (LPT1)", "Printer Port"}, 0},
        {"values with their terminator and what follows it",
         {std::u16string(u"COM12\0garbage", 13), std::u16string(u"Port\0\0", 6), u"Desc", u""},
         {"COM12", "Port", "Desc"}, 12},
        {"text outside ASCII becomes UTF-8", {u"COM4", u"Serielle Schnittstelle (COM4)", u"Gerät \u4e32\u53e3", u""},
         {"COM4", "Serielle Schnittstelle (COM4)", "Ger\xC3\xA4t \xE4\xB8\xB2\xE5\x8F\xA3"}, 4},
    };
    for (const Case& c : cases) {
        const PortInterface port = PortFromAnswers(c.answers);
        EXPECT_EQ(port.portName, c.expected.portName) << c.what;
        EXPECT_EQ(port.friendlyName, c.expected.friendlyName) << c.what;
        EXPECT_EQ(port.deviceDesc, c.expected.deviceDesc) << c.what;
        EXPECT_EQ(ParsePortNumber(port.portName), c.portNumber) << c.what;
    }
}

TEST(PortFromAnswers, CarriesTheUsbIdentityOfItsHardwareId) {
    const PortInterface usb = PortFromAnswers({u"COM7", u"", u"Port", u"USB\\VID_1782&PID_4D00&MI_02"});
    EXPECT_EQ(usb.usbVid + ":" + usb.usbPid + ":" + usb.usbInterface, "1782:4d00:02");
    const PortInterface builtIn = PortFromAnswers({u"COM1", u"", u"Communications Port", u"ACPI\\PNP0501"});
    EXPECT_EQ(builtIn.usbVid + builtIn.usbPid + builtIn.usbInterface, "");
}

TEST(PortFromAnswers, LongTextsAreCutToWhatIsReadAndToTheRecord) {
    ComPortAnswers answers;
    answers.portName = u"COM5" + Repeat(u'x', 400);
    answers.friendlyName = Repeat(u'F', 600);
    answers.deviceDesc = Repeat(u'\u00e4', 300);  // two UTF-8 bytes each
    const PortInterface port = PortFromAnswers(answers);
    EXPECT_EQ(port.portName.size(), kPortNameUnits);
    EXPECT_EQ(port.friendlyName, std::string(kDeviceNameUnits, 'F'));
    // 255 units read; the record holds 255 bytes, so 127 whole characters remain.
    EXPECT_EQ(port.deviceDesc.size(), 254u);
    EXPECT_EQ(Utf8ToUtf16(port.deviceDesc), Repeat(u'\u00e4', 127));
}

TEST(PortFromAnswers, ASurrogatePairCutInHalfIsLeftOut) {
    ComPortAnswers answers;
    answers.portName = u"COM1";
    // 254 units, then a pair whose second half lies beyond what is read.
    answers.deviceDesc = Repeat(u'a', 254) + u"\U0001F50C";
    const PortInterface port = PortFromAnswers(answers);
    EXPECT_EQ(port.deviceDesc, std::string(254, 'a'));
}

TEST(PortFromVirtual, LooksLikeARealPortOfThatNumber) {
    const PortInterface port = PortFromVirtual({5, "\\\\.\\COM5", "Unisoc Usb Serial Port 0"});
    EXPECT_EQ(port.portName, "COM5");
    EXPECT_EQ(port.deviceDesc, "Unisoc Usb Serial Port 0");
    EXPECT_EQ(port.friendlyName, "Unisoc Usb Serial Port 0 (COM5)");

    const PortInterface bare = PortFromVirtual({12, "\\\\.\\COM12", ""});
    EXPECT_EQ(bare.portName, "COM12");
    EXPECT_EQ(bare.friendlyName, "");  // the watcher shows COM12
}

TEST(UsbIdsFromHardwareId, TakesVendorProductAndInterface) {
    struct Case {
        std::u16string id;
        UsbIds expected;
    };
    const Case cases[] = {
        {u"USB\\VID_1782&PID_4D00&MI_00", {"1782", "4d00", "00"}},
        {u"USB\\VID_1782&PID_4D00&REV_0100&MI_02", {"1782", "4d00", "02"}},
        {u"usb\\vid_0403&pid_6001", {"0403", "6001", ""}},
        {u"USB\\VID_1782&PID_4D00\\5&2A3B", {"1782", "4d00", ""}},
        {std::u16string(u"USB\\VID_1782&PID_4D00&MI_00\0USB\\VID_9999", 40), {"1782", "4d00", "00"}},
        {u"USB\\VID_17&PID_4D00", {"", "4d00", ""}},         // too short to be a vendor id
        {u"USB\\VID_17G2&PID_4D00", {"", "4d00", ""}},       // not hex
        {u"FTDIBUS\\VID_0403+PID_6001+A1B2C3\\0000", {}},    // not a USB id
        {u"ACPI\\PNP0501", {}},
        {u"", {}},
    };
    for (const Case& c : cases) {
        const UsbIds ids = UsbIdsFromHardwareId(c.id);
        const std::string id = Utf16ToUtf8(c.id);
        EXPECT_EQ(ids.vid, c.expected.vid) << id;
        EXPECT_EQ(ids.pid, c.expected.pid) << id;
        EXPECT_EQ(ids.interfaceNumber, c.expected.interfaceNumber) << id;
    }
}

}  // namespace
}  // namespace korvane
