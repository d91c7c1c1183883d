// Where the configuration folder is. Beside the program when its folder holds
// KorvaneAppDownload.ini (a program unpacked with its files); otherwise, for an installed
// program, KORVANE_CONFIG_DIR, then $XDG_CONFIG_HOME/KorvaneAppDownload (by default
// ~/.config/KorvaneAppDownload). A folder named with --config-dir is always the one taken.
// Thread safety: start-up only.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane {

inline constexpr const char* kMainIniName = "KorvaneAppDownload.ini";

// What the search is given: the option and the environment as they are (empty: not set).
struct ConfigPlaces {
    std::string optionDir;   // --config-dir
    std::string programDir;  // the program's own folder
    std::string envDir;      // KORVANE_CONFIG_DIR
    std::string xdgConfigHome;
    std::string home;
};

struct ConfigSearch {
    std::optional<std::string> folder;  // the folder to start from; none when nothing was found
    std::vector<std::string> looked;    // every folder looked in, in order
    std::string suggested;              // where a new configuration belongs
};

// The places from the environment of this process.
ConfigPlaces PlacesFromEnvironment(const std::string& optionDir, const std::string& programDir);

// Looks for the folder that holds KorvaneAppDownload.ini, in the order above.
ConfigSearch FindConfigFolder(const ConfigPlaces& places);

// The operator's message when nothing was found: where it was looked for, how to make one.
std::string NoConfigMessage(const ConfigSearch& search);

class IMessageSink;

// The configuration folder of this process, or nothing after NoConfigMessage went to the
// sink (and, for a window, to stderr as well).
std::optional<std::string> LocateConfig(const std::string& optionDir, const std::string& programDir,
                                        IMessageSink& sink, bool echoToStderr);

}  // namespace korvane
