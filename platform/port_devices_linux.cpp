// Serial device nodes on Linux: virtual ports are links to character devices, real ports
// are found through the locations of the port-number table.
#include "platform/port_numbers.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace korvane {
namespace {

// Whether the path (links followed) is a character device.
bool IsCharacterDevice(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_character_file(path, error);  // follows links
}

}  // namespace

std::vector<VirtualPort> ListVirtualPorts(const std::string& dir) {
    std::vector<VirtualPort> ports;
    if (dir.empty()) {
        return ports;
    }
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const int number = PortNumberFromName(name);
        // Only the exact spelling "COM<n>" is a port; the .desc files and others are not.
        if (number == 0 || name != "COM" + std::to_string(number) || !IsCharacterDevice(it->path().string())) {
            continue;
        }
        ports.push_back({number, it->path().string(), ReadPortDescription(it->path().string() + ".desc")});
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return ports;
}

std::optional<std::string> DeviceForPort(int number) {
    if (number < 1 || number > kHighestPortNumber) {
        return std::nullopt;
    }
    const std::string virtual_dir = VirtualPortDir();
    if (!virtual_dir.empty()) {
        const std::string device = virtual_dir + "/COM" + std::to_string(number);
        if (IsCharacterDevice(device)) {
            return device;
        }
    }
    const auto location = PortNumberTable(PortTableDir()).LocationOf(number);
    if (!location) {
        return std::nullopt;
    }
    return DeviceForLocation(*location);
}

std::optional<std::string> DeviceForLocation(const std::string& location, const std::string& dev_root) {
    // A table entry is a name, never a path: an edited file must not reach other devices.
    if (location.empty() || location == "." || location == ".." || location.find('/') != std::string::npos) {
        return std::nullopt;
    }
    // USB ports are recorded by their bus path; other ports by their kernel name.
    for (const std::string& candidate : {dev_root + "/serial/by-path/" + location, dev_root + "/" + location}) {
        if (IsCharacterDevice(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace korvane
