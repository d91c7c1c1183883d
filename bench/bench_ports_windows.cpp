#include "bench/bench_ports.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace korvane::bench {

namespace fs = std::filesystem;

namespace {

// "COM7.desc" is a device name to the ordinary Windows path rules; the literal \\?\ form
// names the file.
fs::path DescFile(const std::string& dir, int port) {
    return fs::path("\\\\?\\" + fs::absolute(dir).string()) / ("COM" + std::to_string(port) + ".desc");
}

}  // namespace

void PublishBenchPort(const std::string& dir, int port) {
    std::ofstream(DescFile(dir, port)) << "Unisoc Usb Serial Port 0\n";
}

void WithdrawBenchPort(const std::string& dir, int port) {
    std::error_code error;
    fs::remove(DescFile(dir, port), error);
}

}  // namespace korvane::bench
