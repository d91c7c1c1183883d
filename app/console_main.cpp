// The console front end: the same start-up as the window, messages on stderr.
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_location.h"
#include "app/console_options.h"
#include "app/console_run.h"
#include "app/console_terminal.h"
#include "app/front_ends.h"
#include "app/port_listing.h"
#include "app/station_records.h"
#include "app/stderr_sink.h"
#include "platform/environment.h"
#include "platform/module_path.h"

namespace korvane {

namespace {

// Exit statuses of the console front end.
constexpr int kExitOk = 0;
constexpr int kExitStartupEnded = 2;

// Runs start-up from the options; false when it ended (its message has been shown).
bool StartConsole(CKorvaneAppDownloadApp& app, const ConsoleOptions& options, IMessageSink& sink) {
    const std::string programDir = OwnModuleDir();
    const std::optional<std::string> configDir = LocateConfig(options.configDir, programDir, sink, false);
    return configDir && app.InitInstance(sink, *configDir, programDir);
}

int RunConsoleSteps(int argc, char** argv) {
    ConsoleOptions options;
    std::string error;
    if (!ParseConsoleOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), ConsoleUsage());
        return kExitStartupEnded;
    }
    if (options.help) {
        std::fputs(ConsoleUsage(), stdout);
        return kExitOk;
    }
    if (options.logDir.empty()) {
        options.logDir = EnvironmentOrEmpty(kLogDirVariable);
    }
    const std::optional<std::string> recordsVariable = EnvironmentVariable(kRecordsVariable);
    const std::optional<std::string> stationVariable = EnvironmentVariable(kStationVariable);
    const RecordsSettings records =
        ResolveRecordsSettings({options.records, options.station}, recordsVariable ? recordsVariable->c_str() : nullptr,
                               stationVariable ? stationVariable->c_str() : nullptr);
    options.records = records.connection;
    options.station = records.station;
    StderrMessageSink sink;
    if (options.listPorts) {
        // Without a configuration the numbers are those a new one would give.
        const std::string programDir = OwnModuleDir();
        const ConfigSearch search = FindConfigFolder(PlacesFromEnvironment(options.configDir, programDir));
        PortSources sources = DefaultPortSources();
        sources.tableDir = search.folder.value_or(search.suggested.empty() ? programDir : search.suggested);
        return ListPorts(std::move(sources), stdout, stderr);
    }
    CKorvaneAppDownloadApp app;
    const bool started = StartConsole(app, options, sink);
    const int status = started ? RunConsoleDownload(app, options, sink) : kExitStartupEnded;
    app.ExitInstance();
    return status;
}

}  // namespace

int RunConsole(int argc, char** argv) {
    // Before the first line, so that start-up messages and the port list read right.
    ConsoleSetup console;
    const int status = RunConsoleSteps(argc, argv);
    ConsoleWorkDone();
    if (status == kExitStartupEnded || status == kConsoleStartRefused) {
        console.HoldForReading();
    }
    return status;
}

}  // namespace korvane
