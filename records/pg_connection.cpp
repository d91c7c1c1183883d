#include "records/pg_connection.h"

#include <libpq-fe.h>

#include <array>
#include <charconv>
#include <string_view>
#include <utility>

namespace korvane {

namespace {

// Any number, the same for every station: the key of the lock that schema changes take.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(4711022)";

// Each entry takes the schema from the version before it to its own number.
constexpr std::array<std::string_view, kRecordsSchemaVersion> kSchemaSteps = {
    // 1: the table, keyed by station and session id, and the indexes of the records tool's
    // questions: one unit's history (tusn), a window of time (finished_at) and the failures
    // in a window (partial index).
    R"sql(
CREATE TABLE IF NOT EXISTS terminal_results (
    station text NOT NULL,
    session_id text NOT NULL,
    port integer NOT NULL,
    binding_position text NOT NULL DEFAULT '',
    result text NOT NULL CHECK (result IN ('Passed', 'Failed')),
    message text NOT NULL DEFAULT '',
    command integer,
    bytes bigint NOT NULL DEFAULT 0,
    seconds double precision NOT NULL DEFAULT 0,
    started_at timestamptz,
    finished_at timestamptz NOT NULL,
    tusn text NOT NULL DEFAULT '',
    loader_version text NOT NULL DEFAULT '',
    image_md5 text NOT NULL DEFAULT '',
    log_file text NOT NULL DEFAULT '',
    log_text text,
    recorded_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (station, session_id)
);
CREATE INDEX IF NOT EXISTS terminal_results_tusn ON terminal_results (tusn, finished_at DESC);
CREATE INDEX IF NOT EXISTS terminal_results_finished ON terminal_results (finished_at);
CREATE INDEX IF NOT EXISTS terminal_results_failed ON terminal_results (finished_at) WHERE result = 'Failed';
)sql",
};

constexpr const char* kInsert =
    "INSERT INTO terminal_results (station, session_id, port, binding_position, result, message, command, bytes,"
    " seconds, started_at, finished_at, tusn, loader_version, image_md5, log_file, log_text)"
    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16)"
    // The key (station, session_id) is the table's only unique constraint. Naming it as the
    // conflict target would need the right to read those columns; without a target the
    // insert needs the insert right only, so stations can run without any other.
    " ON CONFLICT DO NOTHING";

std::string ErrorText(const pg_conn* conn) {
    std::string text = conn != nullptr ? PQerrorMessage(conn) : "out of memory";
    // One line for the operator: libpq puts hints on lines of their own.
    std::string line;
    for (const char c : text) {
        if (c == '\n' || c == '\t') {
            if (!line.empty() && line.back() != ' ') {
                line.push_back(' ');
            }
        } else {
            line.push_back(c);
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

}  // namespace

void PgResultFree::operator()(pg_result* result) const {
    PQclear(result);
}

PgConnection::PgConnection(std::string conninfo, int connectTimeoutSeconds)
    : conninfo_(std::move(conninfo)), connectTimeoutSeconds_(connectTimeoutSeconds) {}

PgConnection::~PgConnection() {
    Disconnect();
}

bool PgConnection::Connect(std::string& error) {
    if (Connected()) {
        return true;
    }
    Disconnect();
    // The defaults come first, so that the connection text's own settings win.
    const std::string timeout = std::to_string(connectTimeoutSeconds_);
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {timeout.c_str(), "KorvaneAppDownload", conninfo_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn_) != CONNECTION_OK) {
        error = ErrorText(conn_);
        Disconnect();
        return false;
    }
    // The server's notices ("already exists, skipping") are no news to an operator.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    return true;
}

void PgConnection::Disconnect() {
    if (conn_ != nullptr) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
}

bool PgConnection::Connected() const {
    return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK;
}

PgResult PgConnection::Exec(const std::string& sql, const std::vector<const char*>& params, std::string& error,
                            std::string* sqlState) {
    if (conn_ == nullptr) {
        error = "not connected";
        if (sqlState != nullptr) {
            *sqlState = "08003";
        }
        return nullptr;
    }
    // Without parameters a text may hold several statements (the schema steps).
    PgResult result(params.empty() ? PQexec(conn_, sql.c_str())
                                   : PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr,
                                                  params.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        return result;
    }
    const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    if (sqlState != nullptr) {
        // No SQLSTATE: the connection broke before the server answered.
        *sqlState = state != nullptr ? state : "08006";
    }
    error = ErrorText(conn_);
    return nullptr;
}

bool PgConnection::UpgradeSchema(int& from, int& to, std::string& error, std::string* sqlState) {
    std::string ignored;
    const auto fail = [&] {
        Exec("ROLLBACK", {}, ignored);
        return false;
    };
    if (!Exec("BEGIN", {}, error, sqlState) || !Exec(kSchemaLock, {}, error, sqlState) ||
        !Exec("CREATE TABLE IF NOT EXISTS korvane_records_schema (version integer PRIMARY KEY,"
              " applied_at timestamptz NOT NULL DEFAULT now())",
              {}, error, sqlState)) {
        return fail();
    }
    const PgResult current = Exec("SELECT coalesce(max(version), 0) FROM korvane_records_schema", {}, error, sqlState);
    if (!current) {
        return fail();
    }
    const std::string_view text = PQgetvalue(current.get(), 0, 0);
    from = 0;
    std::from_chars(text.data(), text.data() + text.size(), from);
    if (from > kRecordsSchemaVersion) {
        error = "the table's schema version " + std::to_string(from) + " is newer than this program's " +
                std::to_string(kRecordsSchemaVersion);
        return fail();
    }
    for (int version = from + 1; version <= kRecordsSchemaVersion; ++version) {
        const std::string number = std::to_string(version);
        if (!Exec(std::string(kSchemaSteps[static_cast<size_t>(version - 1)]), {}, error, sqlState) ||
            !Exec("INSERT INTO korvane_records_schema (version) VALUES ($1)", {number.c_str()}, error, sqlState)) {
            return fail();
        }
    }
    if (!Exec("COMMIT", {}, error, sqlState)) {
        return fail();
    }
    to = kRecordsSchemaVersion;
    return true;
}

std::unique_ptr<IRecordsDatabase> MakeRecordsDatabase(const std::string& conninfo) {
    return std::make_unique<PgRecordsDatabase>(conninfo);
}

StoreResult ClassifySqlState(const std::string& sqlState) {
    const std::string_view cls = std::string_view(sqlState).substr(0, 2);
    // 42: rights or missing objects; 25006: a read-only transaction (a standby).
    if (cls == "42" || sqlState == "25006") {
        return StoreResult::kRefused;
    }
    // 22: bad data; 23: a broken constraint other than the key, which the insert skips.
    if (cls == "22" || cls == "23") {
        return StoreResult::kRejected;
    }
    return StoreResult::kLost;
}

PgRecordsDatabase::PgRecordsDatabase(std::string conninfo) : connection_(std::move(conninfo)) {}

bool PgRecordsDatabase::Connect(std::string& error) {
    return connection_.Connect(error);
}

void PgRecordsDatabase::Disconnect() {
    connection_.Disconnect();
}

StoreResult PgRecordsDatabase::PrepareTable(std::string& error) {
    std::string sqlState;
    const PgResult present =
        connection_.Exec("SELECT to_regclass('terminal_results') IS NOT NULL", {}, error, &sqlState);
    if (!present) {
        return ClassifySqlState(sqlState);
    }
    if (std::string_view(PQgetvalue(present.get(), 0, 0)) == "t") {
        return StoreResult::kStored;
    }
    int from = 0, to = 0;
    if (connection_.UpgradeSchema(from, to, error, &sqlState)) {
        return StoreResult::kStored;
    }
    error = "the table terminal_results is missing and cannot be made here (" + error +
            "); an administrator makes it with korvane-records init";
    return sqlState.starts_with("08") ? StoreResult::kLost : StoreResult::kRefused;
}

StoreResult PgRecordsDatabase::Insert(const StationRow& row, std::string& error) {
    const std::string port = std::to_string(row.port);
    const std::string command = row.command ? std::to_string(*row.command) : std::string();
    const std::string bytes = std::to_string(row.bytes);
    // Shortest text that reads back as the same double, whatever the locale.
    char secondsText[32];
    const std::string seconds(secondsText,
                              std::to_chars(secondsText, secondsText + sizeof secondsText, row.seconds).ptr);
    const auto textOrNull = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
    const std::vector<const char*> params = {
        row.station.c_str(),
        row.sessionId.c_str(),
        port.c_str(),
        row.bindingPosition.c_str(),
        ResultText(row.passed),
        row.message.c_str(),
        row.command ? command.c_str() : nullptr,
        bytes.c_str(),
        seconds.c_str(),
        textOrNull(row.startedAt),
        row.finishedAt.c_str(),
        row.tusn.c_str(),
        row.loaderVersion.c_str(),
        row.imageMd5.c_str(),
        row.logFile.c_str(),
        row.logText ? row.logText->c_str() : nullptr,
    };
    std::string sqlState;
    if (connection_.Exec(kInsert, params, error, &sqlState)) {
        return StoreResult::kStored;
    }
    if (!connection_.Connected()) {
        return StoreResult::kLost;
    }
    return ClassifySqlState(sqlState);
}

}  // namespace korvane
