// What the records writer needs of a database: connect, make sure the table is there, insert
// one row at most once. The libpq connection implements it; tests use a fake that fails on
// command.
// Thread safety: one object is used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "records/station_row.h"

namespace korvane {

enum class StoreResult {
    kStored,    // the row is in the table (inserted now, or it was there already)
    kLost,      // the connection is gone or never came: try again later
    kRefused,   // the server answered but will not take rows now (rights, missing table)
    kRejected,  // the server will never take this row as it is
};

class IRecordsDatabase {
public:
    virtual ~IRecordsDatabase() = default;
    // Connects when not connected; false with the reason when the server cannot be reached.
    virtual bool Connect(std::string& error) = 0;
    virtual void Disconnect() = 0;
    // Creates the table when it is missing and this connection may; kStored when the table
    // is there, kRefused with the reason when it is missing and cannot be made.
    virtual StoreResult PrepareTable(std::string& error) = 0;
    // Inserts the row unless a row of the same station and session id is there already.
    virtual StoreResult Insert(const StationRow& row, std::string& error) = 0;
};

// The database named by a libpq connection string or URI.
std::unique_ptr<IRecordsDatabase> MakeRecordsDatabase(const std::string& conninfo);

}  // namespace korvane
