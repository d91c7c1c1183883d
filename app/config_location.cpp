#include "app/config_location.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/message_sink.h"
#include "platform/environment.h"
#include "platform/file_path.h"

namespace korvane {

namespace {

bool HoldsMainIni(const std::string& folder) {
    std::error_code error;
    return std::filesystem::is_regular_file(PathFromUtf8(folder) / kMainIniName, error);
}

// $XDG_CONFIG_HOME/KorvaneAppDownload; a relative XDG_CONFIG_HOME is not valid and is ignored.
std::string UserConfigFolder(const ConfigPlaces& places) {
    if (!places.xdgConfigHome.empty() && places.xdgConfigHome.front() == '/') {
        return places.xdgConfigHome + "/KorvaneAppDownload";
    }
    if (!places.home.empty()) {
        return places.home + "/.config/KorvaneAppDownload";
    }
    return {};
}

}  // namespace

ConfigPlaces PlacesFromEnvironment(const std::string& optionDir, const std::string& programDir) {
    return ConfigPlaces{optionDir, programDir, EnvironmentOrEmpty("KORVANE_CONFIG_DIR"),
                        EnvironmentOrEmpty("XDG_CONFIG_HOME"), EnvironmentOrEmpty("HOME")};
}

ConfigSearch FindConfigFolder(const ConfigPlaces& places) {
    ConfigSearch search;
    search.suggested = UserConfigFolder(places);
    // An explicit folder is taken as it is; start-up names what is missing in it.
    if (!places.optionDir.empty()) {
        search.looked.push_back(places.optionDir);
        search.folder = places.optionDir;
        return search;
    }
    for (const std::string& candidate : {places.programDir, places.envDir, search.suggested}) {
        if (candidate.empty()) {
            continue;
        }
        search.looked.push_back(candidate);
        if (HoldsMainIni(candidate)) {
            search.folder = candidate;
            return search;
        }
    }
    return search;
}

std::string NoConfigMessage(const ConfigSearch& search) {
    std::string text = std::string("No configuration found: ") + kMainIniName + " is in none of these folders:";
    for (const std::string& folder : search.looked) {
        text += "\n  " + folder;
    }
    const std::string target = search.suggested.empty() ? std::string("DIR") : search.suggested;
    text += "\nMake one with: korvane-make-config " + target +
            "\n(or name a folder with --config-dir DIR or KORVANE_CONFIG_DIR)";
    return text;
}

std::optional<std::string> LocateConfig(const std::string& optionDir, const std::string& programDir,
                                        IMessageSink& sink, bool echoToStderr) {
    const ConfigSearch search = FindConfigFolder(PlacesFromEnvironment(optionDir, programDir));
    if (!search.folder) {
        const std::string message = NoConfigMessage(search);
        if (echoToStderr) {
            std::fprintf(stderr, "%s\n", message.c_str());
        }
        sink.ShowMessage(message);
    }
    return search.folder;
}

}  // namespace korvane
