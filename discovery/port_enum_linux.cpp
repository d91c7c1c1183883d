// Serial ports on Linux: the tty class in sysfs and the virtual ports of the simulator.
#include "discovery/port_enum.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <utility>

#include "platform/port_numbers.h"
#include "platform/text.h"
#include "platform/tick.h"

namespace korvane {

namespace fs = std::filesystem;

namespace {

// Cuts a text to the field size on a UTF-8 character boundary.
std::string Clip(std::string text) { return CutAtCharacter(std::move(text), kPortTextMax); }

// First line of a small sysfs attribute, without surrounding blanks; empty when absent.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return {};
    }
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

std::string LinkName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// The first folder, from `start` upwards, that holds the given attribute.
std::optional<fs::path> AncestorWith(fs::path start, const char* attribute, const fs::path& stopAt) {
    for (fs::path dir = std::move(start); !dir.empty() && dir != stopAt && dir != dir.root_path();
         dir = dir.parent_path()) {
        if (Exists(dir / attribute)) {
            return dir;
        }
    }
    return std::nullopt;
}

// What a real tty is called: its USB interface string, else its USB product string, else
// the name of its driver.
std::string DescribeDevice(const fs::path& device, const fs::path& sysfsRoot) {
    if (const auto usbInterface = AncestorWith(device, "bInterfaceNumber", sysfsRoot)) {
        std::string text = ReadAttribute(*usbInterface / "interface");
        if (text.empty()) {
            text = ReadAttribute(usbInterface->parent_path() / "product");
        }
        if (!text.empty()) {
            return text;
        }
    }
    return LinkName(device / "driver");
}

// What the sysfs tree tells about one tty; no value for entries that are no port.
struct TtyDetails {
    std::string location;
    std::string description;
    bool stable = true;  // false while a USB port still waits for its by-path name
};

// udev names a new USB port in /dev/serial/by-path a moment after the kernel shows it;
// the port is held back this long for that name before its kernel name is used instead.
constexpr uint32_t kByPathGraceMs = 1000;

// The virtual-port folder is read again at least this often, and on every pass while its
// last change is this recent (file times may be coarser than a pass).
constexpr uint32_t kVirtualRefreshMs = 1000;
constexpr time_t kRecentChangeSeconds = 2;

class LinuxPortEnumerator final : public IPortEnumerator {
public:
    explicit LinuxPortEnumerator(PortSources sources)
        : sources_(std::move(sources)), table_(sources_.tableDir) {}

    bool List(std::vector<PortInterface>& ports) override {
        ports.clear();
        const bool realListed = ListRealPorts(ports);
        if (!realListed && sources_.virtualDir.empty()) {
            return false;
        }
        if (!sources_.virtualDir.empty()) {
            ListVirtual(ports);
        }
        return true;
    }

private:
    struct CachedEntry {
        ino_t inode = 0;
        std::optional<TtyDetails> details;
        uint32_t firstSeenMs = 0;
        bool seen = false;
    };

    bool ListRealPorts(std::vector<PortInterface>& ports) {
        const fs::path ttyClass = fs::path(sources_.sysfsRoot) / "class" / "tty";
        DIR* dir = opendir(ttyClass.c_str());
        if (dir == nullptr) {
            return false;
        }
        for (auto& [name, entry] : cache_) {
            entry.seen = false;
        }
        // sysfs gives a re-created entry a new inode, so an unchanged (name, inode) pair is
        // the same device and its details need not be read again on every pass.
        while (const dirent* item = readdir(dir)) {
            const std::string name = item->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            CachedEntry& entry = cache_[name];
            if (entry.inode != item->d_ino) {
                entry = CachedEntry{item->d_ino, Inspect(ttyClass / name, name), GetTickMs(), false};
            } else if (entry.details && !entry.details->stable) {
                entry.details = Inspect(ttyClass / name, name);
            }
            entry.seen = true;
            if (entry.details && (entry.details->stable || GetTickMs() - entry.firstSeenMs >= kByPathGraceMs)) {
                AddPort(ports, NumberFor(entry.details->location), entry.details->description);
            }
        }
        closedir(dir);
        std::erase_if(cache_, [](const auto& item) { return !item.second.seen; });
        return true;
    }

    std::optional<TtyDetails> Inspect(const fs::path& entry, const std::string& kernelName) const {
        std::error_code ec;
        const fs::path device = fs::canonical(entry / "device", ec);
        if (ec) {
            return std::nullopt;
        }
        // Serial-core ports (ttyS*) exist whether or not a UART is fitted; type 0 is none.
        if (Exists(entry / "type") && ReadAttribute(entry / "type") == "0") {
            return std::nullopt;
        }
        std::error_code rootEc;
        const fs::path root = fs::canonical(sources_.sysfsRoot, rootEc);
        const fs::path stopAt = rootEc ? fs::path() : root;
        TtyDetails details;
        details.description = Clip(DescribeDevice(device, stopAt));
        if (auto byPath = ByPathName(kernelName)) {
            details.location = std::move(*byPath);
        } else {
            details.location = kernelName;
            details.stable = !AncestorWith(device, "bInterfaceNumber", stopAt).has_value();
        }
        return details;
    }

    // The /dev/serial/by-path name that leads to the tty (bus path and interface), which
    // stays the same for the same physical socket.
    std::optional<std::string> ByPathName(const std::string& kernelName) const {
        const fs::path byPath = fs::path(sources_.devRoot) / "serial" / "by-path";
        std::error_code ec;
        for (fs::directory_iterator it(byPath, ec), end; !ec && it != end; it.increment(ec)) {
            if (LinkName(it->path()) == kernelName) {
                return it->path().filename().string();
            }
        }
        return std::nullopt;
    }

    int NumberFor(const std::string& location) {
        const auto known = numbers_.find(location);
        if (known != numbers_.end()) {
            return known->second;
        }
        const int number = table_.NumberFor(location);
        if (number > 0) {
            numbers_.emplace(location, number);
        }
        return number;
    }

    void ListVirtual(std::vector<PortInterface>& ports) {
        if (VirtualFolderChanged()) {
            virtualPorts_ = ListVirtualPorts(sources_.virtualDir);
            virtualListedMs_ = GetTickMs();
        }
        for (const VirtualPort& port : virtualPorts_) {
            AddPort(ports, port.number, Clip(port.description));
        }
    }

    // Listing the folder costs a syscall per entry, too much for every 10 ms. Plugging and
    // unplugging create and remove entries, which changes the folder's modification time;
    // a time too recent to be trusted, and a second gone by (a terminal whose device
    // vanished under its link), make the folder be read again.
    bool VirtualFolderChanged() {
        struct stat folder {};
        if (stat(sources_.virtualDir.c_str(), &folder) != 0) {
            virtualStamp_.reset();
            virtualPorts_.clear();
            return false;
        }
        const FolderStamp stamp{folder.st_ino, folder.st_mtim.tv_sec, folder.st_mtim.tv_nsec};
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const bool recent = now.tv_sec - folder.st_mtim.tv_sec < kRecentChangeSeconds;
        const bool stale = GetTickMs() - virtualListedMs_ >= kVirtualRefreshMs;
        const bool changed = !virtualStamp_ || !(*virtualStamp_ == stamp) || recent || stale;
        virtualStamp_ = stamp;
        return changed;
    }

    static void AddPort(std::vector<PortInterface>& ports, int number, const std::string& description) {
        PortInterface port;
        if (number > 0) {
            port.portName = "COM" + std::to_string(number);
        }
        port.deviceDesc = description;
        if (!description.empty() && !port.portName.empty()) {
            port.friendlyName = Clip(description + " (" + port.portName + ")");
        }
        ports.push_back(std::move(port));
    }

    struct FolderStamp {
        ino_t inode;
        time_t seconds;
        long nanoseconds;
        bool operator==(const FolderStamp&) const = default;
    };

    PortSources sources_;
    PortNumberTable table_;
    std::optional<FolderStamp> virtualStamp_;
    std::vector<VirtualPort> virtualPorts_;
    uint32_t virtualListedMs_ = 0;
    std::map<std::string, CachedEntry> cache_;   // tty entry name -> what it is
    std::map<std::string, int> numbers_;         // location -> port number, once assigned
};

}  // namespace

PortSources DefaultPortSources() {
    PortSources sources;
    sources.tableDir = PortTableDir();
    sources.virtualDir = VirtualPortDir();
    return sources;
}

std::unique_ptr<IPortEnumerator> MakePortEnumerator(PortSources sources) {
    return std::make_unique<LinuxPortEnumerator>(std::move(sources));
}

}  // namespace korvane
