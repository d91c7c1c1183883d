#include "platform/port_numbers.h"

namespace korvane {

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
