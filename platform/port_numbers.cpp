#include "platform/port_numbers.h"

#include "platform/environment.h"
#include "platform/file_replace.h"
#include "platform/module_path.h"
#include "platform/profile.h"
#include "platform/run_folder.h"
#include "platform/text.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

namespace korvane {
namespace {

constexpr const char* kTableFile = "ComPorts.ini";
constexpr const char* kSection = "Ports";
constexpr size_t kMaxDescriptionSize = 4096;

// Assignment reads the table and then writes it; one lock keeps two threads of this process
// from handing out the same number.
std::mutex& AssignMutex() {
    static std::mutex mutex;
    return mutex;
}

// Numbers this process gave out that the table could not store, by location. The run file
// mirrors them for the channel module, which has its own copy of this code.
std::map<std::string, int>& UnsavedNumbers() {
    static std::map<std::string, int> numbers;
    return numbers;
}

// Every number named in a section's values.
void CollectNumbers(const std::string& file, std::set<int>& taken) {
    for (const auto& entry : ReadProfileSection(file, kSection)) {
        taken.insert(PortNumberFromName(entry.second));
    }
}

}  // namespace

int PortNumberFromName(std::string_view name) {
    name = TrimBlanks(name);
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
    const std::string configured = EnvironmentOrEmpty("KORVANE_CONFIG_DIR");
    return configured.empty() ? OwnModuleDir() : configured;
}

std::string RunNumbersFile() {
    const std::string folder = PrivateRunFolder();
    return folder.empty() ? std::string() : folder + "/ComPorts-" + std::to_string(ProcessId()) + ".ini";
}

PortNumberTable::PortNumberTable(std::string config_dir, std::string run_file)
    : file_(std::move(config_dir) + "/" + kTableFile), run_file_(std::move(run_file)) {}

AssignedNumber PortNumberTable::NumberFor(const std::string& location) {
    if (TrimBlanks(location).empty()) {
        return {0, true};
    }
    std::lock_guard lock(AssignMutex());
    // Looked up by the profile's rules (names in any case), so an entry is never duplicated.
    const int recorded = PortNumberFromName(ReadProfileString(file_, kSection, location).value_or(""));
    if (recorded != 0) {
        return {recorded, true};
    }
    auto& unsaved = UnsavedNumbers();
    if (const auto kept = unsaved.find(location); kept != unsaved.end()) {
        return {kept->second, false};
    }
    std::set<int> taken;
    CollectNumbers(file_, taken);
    for (const auto& [key, number] : unsaved) {
        taken.insert(number);
    }
    for (const auto& port : ListVirtualPorts(VirtualPortDir())) {
        taken.insert(port.number);
    }
    int number = 1;
    while (taken.count(number) != 0) {
        ++number;
    }
    if (number > kHighestPortNumber) {
        return {0, true};
    }
    const std::string value = "COM" + std::to_string(number);
    if (WriteProfileString(file_, kSection, location, value)) {
        return {number, true};
    }
    // The port stays usable for this run; only the channel module needs the run file, and
    // without it the port's Open fails in its row rather than the port going unseen.
    unsaved.emplace(location, number);
    if (!run_file_.empty()) {
        WriteProfileString(run_file_, kSection, location, value);
    }
    return {number, false};
}

void PortNumberTable::Relocate(const std::string& from, const std::string& to, int number) {
    if (TrimBlanks(to).empty() || number == 0) {
        return;
    }
    const std::string value = "COM" + std::to_string(number);
    std::lock_guard lock(AssignMutex());
    auto& unsaved = UnsavedNumbers();
    if (ReadProfileString(file_, kSection, to) || unsaved.count(to) != 0) {
        return;
    }
    if (PortNumberFromName(ReadProfileString(file_, kSection, from).value_or("")) == number) {
        // The old entry goes only once the new one is stored: a number is never lost.
        if (WriteProfileString(file_, kSection, to, value)) {
            WriteProfileString(file_, kSection, from, std::nullopt);
        }
        return;
    }
    if (const auto kept = unsaved.find(from); kept != unsaved.end() && kept->second == number) {
        unsaved.erase(kept);
        unsaved.emplace(to, number);
        if (!run_file_.empty()) {
            WriteProfileString(run_file_, kSection, to, value);
            WriteProfileString(run_file_, kSection, from, std::nullopt);
        }
    }
}

std::optional<std::string> PortNumberTable::LocationOf(int number) const {
    if (number == 0) {
        return std::nullopt;
    }
    for (const std::string* file : {&file_, &run_file_}) {
        if (file->empty()) {
            continue;
        }
        for (const auto& [key, value] : ReadProfileSection(*file, kSection)) {
            if (PortNumberFromName(value) == number) {
                return key;
            }
        }
    }
    std::lock_guard lock(AssignMutex());
    for (const auto& [location, kept] : UnsavedNumbers()) {
        if (kept == number) {
            return location;
        }
    }
    return std::nullopt;
}

void PortNumberTable::ForgetRunNumbers() {
    std::lock_guard lock(AssignMutex());
    UnsavedNumbers().clear();
    if (!run_file_.empty()) {
        std::error_code error;
        std::filesystem::remove(run_file_, error);
    }
}

std::string VirtualPortDir() { return EnvironmentOrEmpty("KORVANE_VIRTUAL_PORTS"); }

std::string ReadPortDescription(const std::string& path) {
    const FileContents contents = ReadWholeFile(path, kMaxDescriptionSize);
    if (contents.status != FileContents::kRead) {
        return {};
    }
    const std::string_view text = contents.bytes;
    return std::string(TrimBlanks(text.substr(0, text.find_first_of("\r\n"))));
}

}  // namespace korvane
