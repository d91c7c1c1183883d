#include "platform/port_numbers.h"

#include "platform/file_replace.h"
#include "platform/module_path.h"
#include "platform/profile.h"

#include <charconv>
#include <cstdlib>
#include <mutex>
#include <set>

namespace korvane {
namespace {

constexpr const char* kTableFile = "ComPorts.ini";
constexpr const char* kSection = "Ports";
constexpr size_t kMaxDescriptionSize = 4096;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string_view Trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Assignment reads the table and then writes it; one lock keeps two threads of this process
// from handing out the same number.
std::mutex& AssignMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

int PortNumberFromName(std::string_view name) {
    name = Trim(name);
    if (name.size() < 4 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') {
        return 0;
    }
    const std::string_view digits = name.substr(3);
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number < 1 || number > kHighestPortNumber) {
        return 0;
    }
    return number;
}

std::string PortTableDir() {
    const std::string configured = EnvOrEmpty("KORVANE_CONFIG_DIR");
    return configured.empty() ? OwnModuleDir() : configured;
}

PortNumberTable::PortNumberTable(std::string config_dir) : file_(std::move(config_dir) + "/" + kTableFile) {}

int PortNumberTable::NumberFor(const std::string& location) {
    if (Trim(location).empty()) {
        return 0;
    }
    std::lock_guard lock(AssignMutex());
    // Looked up by the profile's rules (names in any case), so an entry is never duplicated.
    const int recorded = PortNumberFromName(ReadProfileString(file_, kSection, location).value_or(""));
    if (recorded != 0) {
        return recorded;
    }
    std::set<int> taken;
    for (const auto& entry : ReadProfileSection(file_, kSection)) {
        taken.insert(PortNumberFromName(entry.second));
    }
    for (const auto& port : ListVirtualPorts(VirtualPortDir())) {
        taken.insert(port.number);
    }
    int number = 1;
    while (taken.count(number) != 0) {
        ++number;
    }
    if (number > kHighestPortNumber ||
        !WriteProfileString(file_, kSection, location, "COM" + std::to_string(number))) {
        return 0;
    }
    return number;
}

std::optional<std::string> PortNumberTable::LocationOf(int number) const {
    for (const auto& [key, value] : ReadProfileSection(file_, kSection)) {
        if (number != 0 && PortNumberFromName(value) == number) {
            return key;
        }
    }
    return std::nullopt;
}

std::string VirtualPortDir() { return EnvOrEmpty("KORVANE_VIRTUAL_PORTS"); }

std::string ReadPortDescription(const std::string& path) {
    const FileContents contents = ReadWholeFile(path, kMaxDescriptionSize);
    if (contents.status != FileContents::kRead) {
        return {};
    }
    const std::string_view text = contents.bytes;
    return std::string(Trim(text.substr(0, text.find_first_of("\r\n"))));
}

}  // namespace korvane
