#include "bench/bench_ports.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace korvane::bench {

namespace fs = std::filesystem;

void PublishBenchPort(const std::string& dir, int port) {
    const fs::path link = fs::path(dir) / ("COM" + std::to_string(port));
    std::ofstream(link.string() + ".desc") << "Unisoc Usb Serial Port 0\n";
    std::error_code error;
    fs::create_symlink("/dev/null", link, error);
}

void WithdrawBenchPort(const std::string& dir, int port) {
    const fs::path link = fs::path(dir) / ("COM" + std::to_string(port));
    std::error_code error;
    fs::remove(link, error);
    fs::remove(link.string() + ".desc", error);
}

}  // namespace korvane::bench
