// What Windows tells about one COM-port interface, and the port record made of it. The
// SetupAPI and registry calls only collect these answers (port_enum_windows.cpp); turning
// them into a record is plain code, tested with made-up answers.
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

#include "discovery/port_enum.h"
#include "platform/port_numbers.h"

namespace korvane {

// The raw answers, UTF-16 as read. A read that failed leaves its text empty. A text may
// lack its terminating NUL or hold more after one (registry and property values are not
// guaranteed to be terminated); everything from the first NUL on is ignored.
struct ComPortAnswers {
    std::u16string portName;      // the "PortName" value of the device key, e.g. COM7
    std::u16string friendlyName;  // SPDRP_FRIENDLYNAME, e.g. "Unisoc Usb Serial Port 0 (COM7)"
    std::u16string deviceDesc;    // SPDRP_DEVICEDESC, e.g. "Unisoc Usb Serial Port 0"
    std::u16string hardwareId;    // first entry of SPDRP_HARDWAREID, e.g. USB\VID_1782&PID_4D00&MI_00
};

// How much of each answer is read, in UTF-16 units without the terminator: the port name
// is offered 256 bytes, the two names 512 bytes.
inline constexpr size_t kPortNameUnits = 127;
inline constexpr size_t kDeviceNameUnits = 255;

// The port record for the watcher: texts cut to what is read of them and to the record's
// size. The port name is passed on as it is; the watcher ignores names that are not COM<n>.
PortInterface PortFromAnswers(const ComPortAnswers& answers);

// A virtual port as the watcher sees a real one: COM<n>, its description, and
// "<description> (COM<n>)" as its friendly name.
PortInterface PortFromVirtual(const VirtualPort& port);

// USB identity from a hardware id such as USB\VID_1782&PID_4D00&MI_00: vendor and product
// as four lower-case hex digits, the interface as its two digits. Empty fields for an id
// that is not a USB one or lacks the part.
struct UsbIds {
    std::string vid;
    std::string pid;
    std::string interfaceNumber;
};
UsbIds UsbIdsFromHardwareId(std::u16string_view hardwareId);

}  // namespace korvane
