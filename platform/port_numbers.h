// Stable port numbers on a platform that has no COMn names, and simulated ports.
//
// The port-number table "ComPorts.ini" in the configuration folder maps a port's stable
// location (for USB the bus path and interface, as in /dev/serial/by-path; otherwise the
// kernel name such as ttyS0) to "COMn" in section [Ports]. A location seen first gets
// the lowest free number; operators may edit the file.
//
// Virtual ports: when KORVANE_VIRTUAL_PORTS=DIR is set, every link DIR/COM<n> to a
// character device is a present port n, described by the text in DIR/COM<n>.desc.
//
// Thread safety: all calls may run at once (the table file goes through profile.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Folder of ComPorts.ini: KORVANE_CONFIG_DIR when set, else the executable's folder.
std::string PortTableDir();

class PortNumberTable {
public:
    explicit PortNumberTable(std::string config_dir);
    // The number for a location, assigning the lowest free one on first sight; 0 on failure.
    int NumberFor(const std::string& location);
    // The location recorded for a number.
    std::optional<std::string> LocationOf(int number) const;

private:
    std::string file_;
};

struct VirtualPort {
    int number = 0;            // n of COMn
    std::string device;        // DIR/COM<n>
    std::string description;   // contents of COM<n>.desc, trimmed
};

// Folder named by KORVANE_VIRTUAL_PORTS, or empty.
std::string VirtualPortDir();
std::vector<VirtualPort> ListVirtualPorts(const std::string& dir);

// The device node to open for port n: the virtual port when it exists, else the device
// of the location the table records for n (/dev/serial/by-path/<location> or /dev/<name>).
std::optional<std::string> DeviceForPort(int number);

}  // namespace korvane
