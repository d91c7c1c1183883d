// One libpq connection, and the statements the station and the records tool share: the
// schema with its version, and the idempotent insert of a row. The connection text is a
// libpq connection string or URI; it is never printed, since it may hold a password.
// Thread safety: one connection per thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "records/records_database.h"

struct pg_conn;
struct pg_result;

namespace korvane {

// The schema version this program writes and reads.
inline constexpr int kRecordsSchemaVersion = 1;

struct PgResultFree {
    void operator()(pg_result* result) const;
};
using PgResult = std::unique_ptr<pg_result, PgResultFree>;

class PgConnection {
public:
    // connectTimeoutSeconds applies unless the connection text gives its own.
    explicit PgConnection(std::string conninfo, int connectTimeoutSeconds = 2);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    bool Connect(std::string& error);
    void Disconnect();
    bool Connected() const;
    pg_conn* Raw() const { return conn_; }

    // Runs one statement with text parameters (null pointers are SQL NULL). The result, or
    // null with the server's reason and SQLSTATE when it failed.
    PgResult Exec(const std::string& sql, const std::vector<const char*>& params, std::string& error,
                  std::string* sqlState = nullptr);

    // Brings the schema to kRecordsSchemaVersion: creates or upgrades the table and its
    // indexes under an advisory lock, so stations starting at once do not race. from and to
    // are the versions before and after. False with the reason (and SQLSTATE) on failure.
    bool UpgradeSchema(int& from, int& to, std::string& error, std::string* sqlState = nullptr);

private:
    std::string conninfo_;
    int connectTimeoutSeconds_;
    pg_conn* conn_ = nullptr;
};

// The station's database through libpq.
class PgRecordsDatabase final : public IRecordsDatabase {
public:
    explicit PgRecordsDatabase(std::string conninfo);

    bool Connect(std::string& error) override;
    void Disconnect() override;
    StoreResult PrepareTable(std::string& error) override;
    StoreResult Insert(const StationRow& row, std::string& error) override;

private:
    PgConnection connection_;
};

// What a failed statement's SQLSTATE means for a row: kRefused for rights and missing
// objects, kRejected for data the server will never take, kLost for the rest (the
// connection, the server's resources), which are worth another try.
StoreResult ClassifySqlState(const std::string& sqlState);

}  // namespace korvane
