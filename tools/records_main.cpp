// korvane-records: the line lead's view of the stations' shared records.
//
//   korvane-records units --tusn TEXT [--db URL] [--format text|csv|json]
//   korvane-records summary [--since 12h] [--station NAME] [--db URL] [--format text|csv|json]
//   korvane-records report [--since 12h] [--station NAME] --html FILE [--db URL]
//   korvane-records init [--db URL] [--writer ROLE] [--reader ROLE]
//   korvane-records send --spool DIR [--db URL]
//
// URL is a libpq connection string or URI, $KORVANE_RECORDS by default; passwords come from
// libpq's own places (the password file, a service file, PGPASSWORD) and are never printed.

#include <libpq-fe.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_replace.h"
#include "platform/wall_clock.h"
#include "records/pg_connection.h"
#include "records/result_table.h"
#include "records/spool.h"
#include "records/shift_page.h"
#include "records/shift_queries.h"
#include "records/since.h"

namespace {

using namespace korvane;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: korvane-records units --tusn TEXT [--db URL] [--format text|csv|json]\n"
    "       korvane-records summary [--since 12h] [--station NAME] [--db URL] [--format text|csv|json]\n"
    "       korvane-records report [--since 12h] [--station NAME] --html FILE [--db URL]\n"
    "       korvane-records init [--db URL] [--writer ROLE] [--reader ROLE]\n"
    "       korvane-records send --spool DIR [--db URL]\n"
    "  units    every session of one unit, on every station, newest first\n"
    "  summary  per station: units, passed, failed, yield, median time, most frequent failures\n"
    "  report   one self-contained HTML page: yield per station per hour, the failure messages,\n"
    "           the failed units with their logs\n"
    "  init     creates or upgrades the table terminal_results (as its owner); --writer ROLE may then\n"
    "           insert rows (a station), --reader ROLE may read them (this tool)\n"
    "  send     sends the rows a station left in its spool folder (records-spool in its configuration\n"
    "           folder), each once, and removes what the server took\n"
    "  --db URL      libpq connection string or URI (default: $KORVANE_RECORDS)\n"
    "  --since SPAN  the window back from now: 90m, 12h, 2d (default 12h)\n"
    "  --station N   only this station\n"
    "  --format F    text (default), csv or json\n"
    "exit status: 0 done, 1 the database failed or the file could not be written, 2 bad usage\n";

struct Options {
    std::string command;
    std::string db, tusn, station, html, writer, reader, spool;
    std::string since = "12h";
    double sinceSeconds = 12 * 3600.0;
    TableFormat format = TableFormat::kText;
    bool help = false;
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    int i = 1;
    if (i < argc && std::string_view(argv[i]).substr(0, 1) != "-") {
        options.command = argv[i++];
    }
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        std::string* value = arg == "--db"        ? &options.db
                             : arg == "--tusn"    ? &options.tusn
                             : arg == "--station" ? &options.station
                             : arg == "--html"    ? &options.html
                             : arg == "--writer"  ? &options.writer
                             : arg == "--reader"  ? &options.reader
                             : arg == "--since"   ? &options.since
                             : arg == "--spool"   ? &options.spool
                                                  : nullptr;
        std::string format;
        if (arg == "--format") {
            value = &format;
        }
        if (value == nullptr) {
            error = "unknown option: " + std::string(arg);
            return false;
        }
        if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        *value = argv[++i];
        if (arg == "--format" && !ParseTableFormat(format, options.format)) {
            error = "--format takes text, csv or json";
            return false;
        }
    }
    if (options.help) {
        return true;
    }
    if (!ParseSince(options.since, options.sinceSeconds)) {
        error = "--since takes a span such as 90m, 12h or 2d (at most a year)";
        return false;
    }
    if (options.db.empty()) {
        if (const char* db = std::getenv("KORVANE_RECORDS"); db != nullptr) {
            options.db = db;
        }
    }
    const std::string& c = options.command;
    if (c != "units" && c != "summary" && c != "report" && c != "init" && c != "send") {
        error = c.empty() ? "a command is needed" : "unknown command: " + c;
        return false;
    }
    if (options.db.empty()) {
        error = "no database: give --db URL or set KORVANE_RECORDS";
        return false;
    }
    if (c == "units" && options.tusn.empty()) {
        error = "units needs --tusn TEXT";
        return false;
    }
    if (c == "send" && options.spool.empty()) {
        error = "send needs --spool DIR";
        return false;
    }
    if (c == "report" && options.html.empty()) {
        error = "report needs --html FILE";
        return false;
    }
    return true;
}

int Failed(const std::string& what) {
    std::fprintf(stderr, "korvane-records: %s\n", what.c_str());
    return kExitFailed;
}

int Units(PgConnection& db, const Options& options) {
    std::vector<UnitSession> sessions;
    std::string error;
    if (!QueryUnit(db, options.tusn, sessions, error)) {
        return Failed(error);
    }
    ResultTable table;
    table.columns = {"finished_at", "station", "session_id", "port", "binding_position", "result", "message",
                     "command", "bytes", "seconds", "started_at", "tusn", "loader_version", "image_md5", "log_file"};
    table.numeric = {false, false, false, true, false, false, false, true, true, true, false, false, false, false, false};
    for (const UnitSession& s : sessions) {
        table.rows.push_back({s.finishedAt, s.station, s.sessionId, s.port, s.bindingPosition, s.result, s.message,
                              s.command, s.bytes, s.seconds, s.startedAt, s.tusn, s.loaderVersion, s.imageMd5,
                              s.logFile});
    }
    std::fputs(FormatTable(table, options.format).c_str(), stdout);
    if (sessions.empty() && options.format == TableFormat::kText) {
        std::fprintf(stderr, "korvane-records: no session of TUSN %s\n", options.tusn.c_str());
    }
    return kExitDone;
}

ResultTable SummaryTable(const std::vector<StationSummary>& summaries) {
    ResultTable table;
    table.columns = {"station", "units", "passed", "failed", "yield_percent", "median_seconds", "top_failures"};
    table.numeric = {false, true, true, true, true, true, false};
    const auto fixed = [](double value) {
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr);
    };
    for (const StationSummary& s : summaries) {
        std::string top;
        for (const MessageCount& m : s.topFailures) {
            top += (top.empty() ? "" : "; ") + m.message + " (" + std::to_string(m.count) + ")";
        }
        table.rows.push_back({s.station, std::to_string(s.units), std::to_string(s.passed), std::to_string(s.failed),
                              fixed(s.Yield()), fixed(s.medianSeconds), top});
    }
    return table;
}

int Summary(PgConnection& db, const Options& options) {
    std::vector<StationSummary> summaries;
    std::string error;
    if (!QuerySummary(db, options.sinceSeconds, options.station, summaries, error)) {
        return Failed(error);
    }
    std::fputs(FormatTable(SummaryTable(summaries), options.format).c_str(), stdout);
    return kExitDone;
}

int Report(PgConnection& db, const Options& options) {
    ShiftReport report;
    std::string error;
    if (!QueryShiftReport(db, options.sinceSeconds, options.station, report, error)) {
        return Failed(error);
    }
    const std::string title =
        "last " + options.since + (options.station.empty() ? std::string() : ", station " + options.station);
    if (!ReplaceFileAtomically(options.html,
                               ShiftPage(report, title, IsoLocalTime(std::chrono::system_clock::now())))) {
        return Failed("cannot write " + options.html);
    }
    std::printf("%s\n", options.html.c_str());
    return kExitDone;
}

int Init(PgConnection& db, const Options& options) {
    int from = 0, to = 0;
    std::string error;
    if (!db.UpgradeSchema(from, to, error)) {
        return Failed("cannot create or upgrade the table: " + error);
    }
    std::printf(from == to ? "terminal_results is at schema version %d\n"
                           : "terminal_results upgraded from schema version %d to %d\n",
                from, to);
    for (const auto& [role, privilege] : {std::pair{options.writer, "INSERT"}, std::pair{options.reader, "SELECT"}}) {
        if (role.empty()) {
            continue;
        }
        char* quoted = PQescapeIdentifier(db.Raw(), role.c_str(), role.size());
        if (quoted == nullptr) {
            return Failed("bad role name: " + role);
        }
        const std::string sql = std::string("GRANT ") + privilege + " ON terminal_results TO " + quoted;
        PQfreemem(quoted);
        if (!db.Exec(sql, {}, error)) {
            return Failed(error);
        }
        std::printf("%s may %s rows\n", role.c_str(), std::string_view(privilege) == "INSERT" ? "insert" : "read");
    }
    return kExitDone;
}

int Send(const Options& options) {
    PgRecordsDatabase db(options.db);
    std::string error;
    if (!db.Connect(error)) {
        return Failed("cannot reach the database: " + error);
    }
    if (db.PrepareTable(error) != StoreResult::kStored) {
        return Failed(error);
    }
    const RecordSpool spool(options.spool);
    std::vector<std::string> unreadable;
    size_t sent = 0, setAside = 0, left = 0;
    const std::vector<RecordSpool::Entry> entries = spool.Pending(&unreadable);
    for (size_t i = 0; i < entries.size(); ++i) {
        const StoreResult result = db.Insert(entries[i].row, error);
        if (result == StoreResult::kStored) {
            spool.Remove(entries[i].file);
            ++sent;
        } else if (result == StoreResult::kRejected) {
            spool.SetAside(entries[i].file);
            std::fprintf(stderr, "korvane-records: %s refused for good (%s); moved to %s/rejected\n",
                         entries[i].file.c_str(), error.c_str(), options.spool.c_str());
            ++setAside;
        } else {
            std::fprintf(stderr, "korvane-records: %s\n", error.c_str());
            left = entries.size() - i;
            break;
        }
    }
    setAside += unreadable.size();
    std::printf("%zu rows sent, %zu set aside, %zu left in %s\n", sent, setAside, left, options.spool.c_str());
    return left == 0 ? kExitDone : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "korvane-records: %s\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    if (options.command == "send") {
        return Send(options);
    }
    // A longer wait than a station's: a person asked and waits for the answer.
    PgConnection db(options.db, 10);
    if (!db.Connect(error)) {
        return Failed("cannot reach the database: " + error);
    }
    if (options.command == "units") {
        return Units(db, options);
    }
    if (options.command == "summary") {
        return Summary(db, options);
    }
    return options.command == "report" ? Report(db, options) : Init(db, options);
}
