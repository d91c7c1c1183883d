// Stable port numbers on a platform that has no COMn names, and simulated ports.
//
// The port-number table "ComPorts.ini" in the configuration folder maps a port's stable
// location (for USB the bus path and interface, as in /dev/serial/by-path; otherwise the
// kernel name such as ttyS0) to "COMn" in section [Ports]. A location seen first gets
// the lowest free number; operators may edit the file. When the table cannot store a new
// entry (read-only folder, full disk, a name the file's encoding cannot hold), the number
// is kept for this process only: in memory, and in a run file of the user's private run
// folder, where the channel module of the same process finds it.
//
// Virtual ports: when KORVANE_VIRTUAL_PORTS=DIR is set, every link DIR/COM<n> to a
// character device is a present port n, described by the first line of DIR/COM<n>.desc.
// On Windows, where COM<n> is a device name of its own, every DIR\COM<n>.desc makes port n
// present, opened as \\.\COM<n>.
//
// Thread safety: all calls may run at once (the table file goes through profile.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

inline constexpr int kHighestPortNumber = 65535;

// n for a port name "COMn" (any case, blanks around it ignored), else 0.
int PortNumberFromName(std::string_view name);

// Folder of ComPorts.ini: KORVANE_CONFIG_DIR when set, else the executable's folder.
std::string PortTableDir();

// The run file of this process: numbers the table could not store.
std::string RunNumbersFile();

struct AssignedNumber {
    int number = 0;     // n of COMn; 0 for an empty location or when every number is taken
    bool saved = true;  // false: the table could not store it; it holds for this run only
};

class PortNumberTable {
public:
    explicit PortNumberTable(std::string config_dir, std::string run_file = RunNumbersFile());
    // The number for a location, assigning the lowest free one on first sight (numbers of
    // present virtual ports and of this run's unsaved entries count as taken).
    AssignedNumber NumberFor(const std::string& location);
    // Moves the entry of a port that was numbered under one location and is now known by
    // another (udev named it late), keeping its number, so that the same socket gets the
    // same number next time. Nothing when the new location has an entry of its own.
    void Relocate(const std::string& from, const std::string& to, int number);
    // The location recorded for a number, in the table or among this run's entries.
    std::optional<std::string> LocationOf(int number) const;
    const std::string& File() const { return file_; }
    // Drops this run's unsaved entries and their run file (the process is done with them).
    void ForgetRunNumbers();

private:
    std::string file_;
    std::string run_file_;
};

struct VirtualPort {
    int number = 0;            // n of COMn
    std::string device;        // DIR/COM<n>, or \\.\COM<n> on Windows
    std::string description;   // first line of COM<n>.desc, trimmed
};

// First line of a port description file, without surrounding blanks; empty when the
// file cannot be read.
std::string ReadPortDescription(const std::string& path);

// Folder named by KORVANE_VIRTUAL_PORTS, or empty.
std::string VirtualPortDir();
std::vector<VirtualPort> ListVirtualPorts(const std::string& dir);

// The device node to open for port n. Linux: the virtual port when it exists, else the
// device of the location the table records for n (/dev/serial/by-path/<location> or
// /dev/<name>). Windows: \\.\COM<n>.
std::optional<std::string> DeviceForPort(int number);
// The device node of a recorded location below dev_root: dev_root/serial/by-path/<location>
// when it exists, else dev_root/<location>. Nothing when neither is a character device or the
// location is not a plain name (no '/', not "." or ".."). Linux only.
std::optional<std::string> DeviceForLocation(const std::string& location, const std::string& dev_root = "/dev");

}  // namespace korvane
