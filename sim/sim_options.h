// The command line of korvane-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/terminal_record.h"

namespace korvane::sim {

inline constexpr uint32_t kDefaultIdleFinishMs = 8000;

struct SimOptions {
    std::string ports_dir;                 // --ports, else KORVANE_VIRTUAL_PORTS
    std::string wine_prefix;               // --wine-prefix: also PREFIX/dosdevices/com<n>
    int count = 1;
    int first_port = 1;
    uint32_t plug_every_ms = 0;
    TerminalMode mode = TerminalMode::kApplication;
    std::optional<std::string> tusn;       // else one per port
    std::string description;
    std::optional<std::string> version_text;
    std::optional<std::string> erase_answer;
    bool secure_boot_disabled = true;
    std::string key_file = "keyPair.bin";
    std::string module_path;               // empty: the terminal's own check
    bool verify = true;
    uint32_t baud = 0;
    std::vector<FaultRule> faults;
    std::string out_dir;
    std::optional<uint32_t> unplug_after_finish_ms;
    uint32_t idle_finish_ms = kDefaultIdleFinishMs;
    bool keep_running = false;
    bool help = false;
};

// Parses the arguments after the program name. False with a message on bad input.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);
std::string SimUsage();
// "\r" and "\n" written as two characters become CR and LF; "\\" becomes one backslash.
std::string UnescapeLineBreaks(const std::string& text);

}  // namespace korvane::sim
