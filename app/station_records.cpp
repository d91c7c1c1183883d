#include "app/station_records.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <utility>

#include "platform/file_replace.h"
#include "platform/file_path.h"
#include "platform/host_name.h"
#include "platform/wall_clock.h"
#include "records/records_writer.h"

namespace korvane {

namespace {

// How long the end of a run waits for the last rows before leaving them to the spool.
constexpr auto kFinalWait = std::chrono::milliseconds(2000);
// Longer logs are read from their end only.
constexpr size_t kLogReadLimit = 64 * 1024 * 1024;

std::optional<std::string> FailedLogText(const TerminalOutcome& outcome) {
    if (outcome.passed || outcome.logFile.empty()) {
        return std::nullopt;
    }
    FileContents log = ReadWholeFile(outcome.logFile, kLogReadLimit);
    if (log.status != FileContents::kRead) {
        return std::nullopt;
    }
    return std::move(log.bytes);
}

}  // namespace

RecordsSettings ResolveRecordsSettings(RecordsSettings options, const char* connectionVariable,
                                       const char* stationVariable) {
    if (options.connection.empty() && connectionVariable != nullptr) {
        options.connection = connectionVariable;
    }
    if (options.station.empty() && stationVariable != nullptr) {
        options.station = stationVariable;
    }
    return options;
}

std::string NewSessionId(const TerminalOutcome& outcome) {
    static std::mutex mutex;
    static std::mt19937_64 bits = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(),
                           static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    uint64_t random = 0;
    {
        std::lock_guard lock(mutex);
        random = bits();
    }
    char tail[40];
    std::snprintf(tail, sizeof tail, "-COM%d-%016llx", outcome.nPort, static_cast<unsigned long long>(random));
    return FileNameTime(std::chrono::system_clock::now()) + tail;
}

StationRow RowOfOutcome(const TerminalOutcome& outcome, const std::string& station, const std::string& sessionId,
                        std::optional<std::string> logText) {
    StationRow row;
    row.station = station;
    row.sessionId = sessionId;
    row.port = outcome.nPort;
    row.bindingPosition = outcome.bindingPosition;
    row.passed = outcome.passed;
    row.message = outcome.message;
    row.command = outcome.command;
    row.bytes = outcome.bytes;
    row.seconds = outcome.seconds;
    row.startedAt = outcome.startedAt;
    // A session that never began still finished now.
    row.finishedAt = outcome.finishedAt.empty() ? IsoLocalTime(std::chrono::system_clock::now()) : outcome.finishedAt;
    row.tusn = outcome.tusn;
    row.loaderVersion = outcome.loaderVersion;
    row.imageMd5 = outcome.imageMd5;
    row.logFile = outcome.logFile;
    row.logText = std::move(logText);
    return StorableRow(std::move(row));
}

std::unique_ptr<StationRecords> StationRecords::Open(const RecordsSettings& settings, const std::string& configDir,
                                                     Warn warn) {
    if (settings.connection.empty()) {
        return nullptr;
    }
    const std::string spoolDir = Utf8FromPath(PathFromUtf8(configDir) / kRecordsSpoolFolder);
    auto writer = std::make_unique<RecordsWriter>(MakeRecordsDatabase(settings.connection),
                                                  RecordSpool(spoolDir), std::move(warn));
    writer->Start();
    return std::unique_ptr<StationRecords>(
        new StationRecords(settings.station.empty() ? HostName() : settings.station, std::move(writer)));
}

StationRecords::StationRecords(std::string station, std::unique_ptr<RecordsWriter> writer)
    : station_(std::move(station)), writer_(std::move(writer)) {}

StationRecords::~StationRecords() {
    writer_->Stop(kFinalWait);
}

void StationRecords::Add(const TerminalOutcome& outcome) {
    const std::string sessionId = outcome.sessionId.empty() ? NewSessionId(outcome) : outcome.sessionId;
    writer_->Submit(RowOfOutcome(outcome, station_, sessionId, FailedLogText(outcome)));
}

}  // namespace korvane
