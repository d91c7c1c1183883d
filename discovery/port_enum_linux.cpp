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

// What the sysfs tree tells about one tty; no value for entries that are no port.
struct TtyDetails {
    std::string location;
    std::string description;
    std::string driver;
    std::string usbVid, usbPid, usbInterface, serial;
    bool stable = true;  // false while a USB port still waits for its by-path name
};

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// What a real tty is called (its USB interface string, else its USB product string, else
// the name of its driver) and, on USB, the ids the matching of terminals may use.
void DescribeDevice(const fs::path& device, const fs::path& sysfsRoot, TtyDetails& details) {
    details.driver = Clip(LinkName(device / "driver"));
    details.description = details.driver;
    const auto usbInterface = AncestorWith(device, "bInterfaceNumber", sysfsRoot);
    if (!usbInterface) {
        return;
    }
    details.usbInterface = Clip(LowerCase(ReadAttribute(*usbInterface / "bInterfaceNumber")));
    if (const auto usbDevice = AncestorWith(usbInterface->parent_path(), "idVendor", sysfsRoot)) {
        details.usbVid = Clip(LowerCase(ReadAttribute(*usbDevice / "idVendor")));
        details.usbPid = Clip(LowerCase(ReadAttribute(*usbDevice / "idProduct")));
        details.serial = Clip(ReadAttribute(*usbDevice / "serial"));
    }
    std::string text = ReadAttribute(*usbInterface / "interface");
    if (text.empty()) {
        text = ReadAttribute(usbInterface->parent_path() / "product");
    }
    if (!text.empty()) {
        details.description = Clip(std::move(text));
    }
}

// The virtual-port folder is read again at least this often, and on every pass while its
// last change is this recent (file times may be coarser than a pass).
constexpr uint32_t kVirtualRefreshMs = 1000;
constexpr time_t kRecentChangeSeconds = 2;

class LinuxPortEnumerator final : public IPortEnumerator {
public:
    explicit LinuxPortEnumerator(PortSources sources)
        : sources_(std::move(sources)), table_(sources_.tableDir) {}

    // Numbers that only this run knew go with the enumerator that handed them out.
    ~LinuxPortEnumerator() override { table_.ForgetRunNumbers(); }
    LinuxPortEnumerator(const LinuxPortEnumerator&) = delete;
    LinuxPortEnumerator& operator=(const LinuxPortEnumerator&) = delete;

    bool List(std::vector<PortInterface>& ports) override {
        // The caller's records are overwritten in place: their strings keep their storage, so
        // a pass in which nothing changed allocates nothing.
        size_t used = 0;
        const bool realListed = ListRealPorts(ports, used);
        if (!realListed && sources_.virtualDir.empty()) {
            ports.clear();
            return false;
        }
        if (!sources_.virtualDir.empty()) {
            ListVirtual(ports, used);
        }
        ports.resize(used);
        return true;
    }

private:
    struct CachedEntry {
        ino_t inode = 0;
        std::optional<TtyDetails> details;
        uint32_t firstSeenMs = 0;
        bool seen = false;
        AssignedNumber number;  // given once the port is listed; kept while the entry lives
        PortInterface port;     // the record listed, made when the number or the details change
    };

    static void Put(std::vector<PortInterface>& ports, size_t& used, const PortInterface& port) {
        if (used < ports.size()) {
            ports[used] = port;
        } else {
            ports.push_back(port);
        }
        ++used;
    }

    bool ListRealPorts(std::vector<PortInterface>& ports, size_t& used) {
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
                entry = CachedEntry{item->d_ino, Inspect(ttyClass / name, name), GetTickMs(), false, {}, {}};
            } else if (entry.details && !entry.details->stable) {
                const std::string before = entry.details->location;
                entry.details = Inspect(ttyClass / name, name);
                if (entry.details && entry.number.number != 0) {
                    if (entry.details->location != before) {
                        table_.Relocate(before, entry.details->location, entry.number.number);
                    }
                    entry.port = RealPort(*entry.details, entry.number);
                }
            }
            entry.seen = true;
            if (entry.details &&
                (entry.details->stable || GetTickMs() - entry.firstSeenMs >= sources_.byPathGraceMs)) {
                // A by-path name that turns up after the port was numbered under its kernel
                // name does not renumber it: a running session keeps its port.
                if (entry.number.number == 0) {
                    entry.number = table_.NumberFor(entry.details->location);
                    entry.port = RealPort(*entry.details, entry.number);
                }
                Put(ports, used, entry.port);
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
        DescribeDevice(device, stopAt, details);
        if (auto byPath = ByPathName(kernelName)) {
            details.location = std::move(*byPath);
        } else {
            details.location = kernelName;
            details.stable = details.usbInterface.empty();
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

    static PortInterface RealPort(const TtyDetails& details, const AssignedNumber& number) {
        PortInterface port;
        port.location = Clip(details.location);
        port.usbVid = details.usbVid;
        port.usbPid = details.usbPid;
        port.usbInterface = details.usbInterface;
        port.serial = details.serial;
        port.driver = details.driver;
        port.numberSaved = number.saved;
        Name(port, number.number, details.description);
        return port;
    }

    void ListVirtual(std::vector<PortInterface>& ports, size_t& used) {
        if (VirtualFolderChanged()) {
            virtualPorts_.clear();
            for (const VirtualPort& port : ListVirtualPorts(sources_.virtualDir)) {
                PortInterface listed;
                listed.location = Clip(port.device);
                Name(listed, port.number, Clip(port.description));
                virtualPorts_.push_back(std::move(listed));
            }
            virtualListedMs_ = GetTickMs();
        }
        for (const PortInterface& port : virtualPorts_) {
            Put(ports, used, port);
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

    // The port's number and the names built from it.
    static void Name(PortInterface& port, int number, const std::string& description) {
        if (number > 0) {
            port.portName = "COM" + std::to_string(number);
        }
        port.deviceDesc = description;
        if (!description.empty() && !port.portName.empty()) {
            port.friendlyName = Clip(description + " (" + port.portName + ")");
        }
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
    std::vector<PortInterface> virtualPorts_;
    uint32_t virtualListedMs_ = 0;
    std::map<std::string, CachedEntry> cache_;   // tty entry name -> what it is
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
