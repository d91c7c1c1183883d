#include "app/console_options.h"

#include <charconv>
#include <string_view>

namespace korvane {

namespace {

// A whole number from 1 to 10^9 for a counting option.
bool ParsePositive(std::string_view text, int& value) {
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < 1 || parsed > 1000000000) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace

bool WantsConsole(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == kHeadlessOption || std::string_view(argv[i]) == kListPortsOption) {
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
        } else if (arg == kListPortsOption) {
            options.listPorts = true;
        } else if (arg == "--config-dir") {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
                error = "--config-dir needs a folder";
                return false;
            }
            options.configDir = argv[++i];
        } else if (arg == "--count" || arg == "--timeout") {
            int& value = arg == "--count" ? options.count : options.timeoutSeconds;
            if (i + 1 >= argc || !ParsePositive(argv[i + 1], value)) {
                error = std::string(arg) + " needs a whole number of at least 1";
                return false;
            }
            ++i;
        } else if (arg == "--report") {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
                error = "--report needs a file name";
                return false;
            }
            options.reportFile = argv[++i];
        } else if (arg == "--log-dir") {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
                error = "--log-dir needs a folder";
                return false;
            }
            options.logDir = argv[++i];
        } else if (arg == "--records" || arg == "--station") {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
                error = std::string(arg) + (arg == "--records" ? " needs a database connection" : " needs a name");
                return false;
            }
            (arg == "--records" ? options.records : options.station) = argv[++i];
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else {
            error = "unknown option: " + std::string(arg);
            return false;
        }
    }
    return true;
}

const char* ConsoleUsage() {
    return "usage: KorvaneAppDownload --headless [--config-dir DIR] [--count N] [--timeout S] [--report FILE]\n"
           "                                    [--log-dir DIR] [--records URL] [--station NAME] [--quiet]\n"
           "       KorvaneAppDownload --list-ports [--config-dir DIR]\n"
           "  --config-dir DIR  INI files and keyPair.bin are in DIR (default: the program's folder)\n"
           "  --count N         stop after N terminals have finished\n"
           "  --timeout S       stop after S seconds\n"
           "  --report FILE     write one row per finished terminal: CSV, or JSON lines for a .jsonl name\n"
           "  --log-dir DIR     write one log file per terminal session into DIR (default: $KORVANE_LOG_DIR,\n"
           "                    else no logs)\n"
           "  --records URL     also write every finished terminal into the PostgreSQL database URL (a libpq\n"
           "                    connection string or URI; default: $KORVANE_RECORDS, else no records)\n"
           "  --station NAME    this station's name in the records (default: $KORVANE_STATION, else the host name)\n"
           "  --quiet, -q       print only the final rows\n"
           "  --list-ports      print every serial port present now and whether it would get a session\n"
           "exit status: 0 every finished terminal passed, 1 one failed (or --count was not reached),\n"
           "             2 start-up ended, 3 Start refused\n";
}

}  // namespace korvane
