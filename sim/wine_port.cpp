#include "sim/wine_port.h"

#include <filesystem>
#include <system_error>

namespace korvane::sim {
namespace fs = std::filesystem;

namespace {

fs::path DosDevices(const std::string& prefix) { return fs::path(prefix) / "dosdevices"; }

}  // namespace

std::string WineComPortLink(const std::string& prefix, int port) {
    return (DosDevices(prefix) / ("com" + std::to_string(port))).string();
}

bool PublishWineComPort(const std::string& prefix, int port, const std::string& device, std::string& error) {
    std::error_code code;
    if (!fs::is_directory(DosDevices(prefix), code)) {
        error = DosDevices(prefix).string() + " is missing: " + prefix + " is not a Wine prefix";
        return false;
    }
    const fs::path link = WineComPortLink(prefix, port);
    const fs::file_status existing = fs::symlink_status(link, code);
    if (fs::exists(existing) && !fs::is_symlink(existing)) {
        error = link.string() + " exists and is not a link";
        return false;
    }
    // Made under a name Wine never looks up, then renamed over the old link in one step.
    const fs::path temp = DosDevices(prefix) / (".com" + std::to_string(port) + ".tmp");
    fs::remove(temp, code);
    fs::create_symlink(device, temp, code);
    if (!code) {
        fs::rename(temp, link, code);
    }
    if (code) {
        error = "cannot link " + link.string() + ": " + code.message();
        fs::remove(temp, code);
        return false;
    }
    return true;
}

void WithdrawWineComPort(const std::string& prefix, int port) {
    std::error_code ignored;
    const fs::path link = WineComPortLink(prefix, port);
    if (fs::is_symlink(fs::symlink_status(link, ignored))) {
        fs::remove(link, ignored);
    }
}

}  // namespace korvane::sim
