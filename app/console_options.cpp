#include "app/console_options.h"

#include <string_view>

namespace korvane {

bool WantsConsole(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == kHeadlessOption) {
            return true;
        }
    }
    return false;
}

bool ParseConsoleOptions(int argc, char** argv, ConsoleOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == kHeadlessOption) {
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--config-dir") {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
                error = "--config-dir needs a folder";
                return false;
            }
            options.configDir = argv[++i];
        } else {
            error = "unknown option: " + std::string(arg);
            return false;
        }
    }
    return true;
}

const char* ConsoleUsage() {
    return "usage: KorvaneAppDownload --headless [--config-dir DIR]\n"
           "  --config-dir DIR  INI files and keyPair.bin are in DIR (default: the program's folder)\n";
}

}  // namespace korvane
