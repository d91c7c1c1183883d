#include "sim/virtual_port.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace korvane::sim {
namespace fs = std::filesystem;

std::string VirtualPortsFromEnvironment() {
    const char* dir = std::getenv("KORVANE_VIRTUAL_PORTS");
    return dir != nullptr ? dir : "";
}

std::string VirtualPortLink(const std::string& dir, int port) { return dir + "/COM" + std::to_string(port); }

bool PublishVirtualPort(const std::string& dir, int port, const std::string& device, const std::string& description,
                        std::string& error) {
    std::error_code code;
    fs::create_directories(dir, code);
    const fs::path link = VirtualPortLink(dir, port);
    const fs::file_status existing = fs::symlink_status(link, code);
    if (fs::exists(existing) && !fs::is_symlink(existing)) {
        error = link.string() + " exists and is not a link";
        return false;
    }
    const fs::path desc = link.string() + ".desc";
    // Temporary names do not begin with "COM", so a watcher never takes them for ports.
    const std::string hidden = dir + "/.COM" + std::to_string(port);
    const fs::path desc_temp = hidden + ".desc.tmp";
    {
        std::ofstream out(desc_temp, std::ios::binary | std::ios::trunc);
        out << description;
        if (!out) {
            error = "cannot write " + desc_temp.string();
            return false;
        }
    }
    fs::rename(desc_temp, desc, code);
    const fs::path link_temp = hidden + ".tmp";
    if (!code) {
        fs::remove(link_temp, code);
    }
    if (!code) {
        fs::create_symlink(device, link_temp, code);
    }
    if (!code) {
        fs::rename(link_temp, link, code);
    }
    if (code) {
        error = "cannot publish " + link.string() + ": " + code.message();
        fs::remove(desc, code);
        return false;
    }
    return true;
}

void WithdrawVirtualPort(const std::string& dir, int port) {
    std::error_code ignored;
    const fs::path link = VirtualPortLink(dir, port);
    fs::remove(link, ignored);
    fs::remove(link.string() + ".desc", ignored);
}

}  // namespace korvane::sim
