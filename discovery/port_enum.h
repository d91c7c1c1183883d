// The platform's list of present serial ports, taken afresh on every polling pass.
// One implementation per platform (port_enum_linux.cpp), chosen in CMake.
//
// Linux: every /sys/class/tty entry with a device link (serial-core ports without a
// UART left out), numbered through the port-number table, plus the virtual ports of
// KORVANE_VIRTUAL_PORTS.
// Thread safety: one enumerator is used by one thread at a time (the watcher's).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// One serial-port interface as a polling pass sees it. Each text holds at most
// kPortTextMax bytes. The USB fields are empty for a port that is not on USB (and for
// virtual ports); the matching of terminals and the port listing read them.
struct PortInterface {
    std::string portName;      // "COMn", empty when the port has no number
    std::string friendlyName;  // description + " (COMn)", empty without a description
    std::string deviceDesc;    // e.g. "Unisoc Usb Serial Port 0"
    std::string location{};    // the port-number table's key (by-path or kernel name); a virtual port's link
    std::string usbVid{};      // USB vendor id, four lower-case hex digits
    std::string usbPid{};      // USB product id, four lower-case hex digits
    std::string usbInterface{};  // USB interface number, two hex digits as the device gives it
    std::string serial{};      // USB serial number string
    std::string driver{};      // kernel driver name (cdc_acm, cp210x, ...)
    bool numberSaved = true;   // false: the number could not be stored in the table and holds for this run only
    bool operator==(const PortInterface&) const = default;
};

inline constexpr size_t kPortTextMax = 255;

// Where the ports are looked for; tests point these at fixture folders.
struct PortSources {
    std::string sysfsRoot = "/sys";  // real ports: <sysfsRoot>/class/tty
    std::string devRoot = "/dev";    // stable names: <devRoot>/serial/by-path
    std::string tableDir;            // folder of the port-number table ComPorts.ini
    std::string virtualDir;          // folder of the virtual ports, empty for none
    // udev names a new USB port in /dev/serial/by-path a moment after the kernel shows it;
    // the port is held back this long for that name before its kernel name is used instead.
    uint32_t byPathGraceMs = 1000;
};

// The real system: /sys, /dev, PortTableDir() and KORVANE_VIRTUAL_PORTS.
PortSources DefaultPortSources();

class IPortEnumerator {
public:
    virtual ~IPortEnumerator() = default;
    // Replaces `ports` by the ports present now; false when no list can be taken.
    virtual bool List(std::vector<PortInterface>& ports) = 0;
};

std::unique_ptr<IPortEnumerator> MakePortEnumerator(PortSources sources);

}  // namespace korvane
