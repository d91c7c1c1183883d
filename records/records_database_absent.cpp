#include "records/records_database.h"

namespace korvane {

namespace {

// A build without the PostgreSQL client: every row waits in the spool, which
// korvane-records send delivers from a machine that has the client.
class AbsentRecordsDatabase final : public IRecordsDatabase {
public:
    bool Connect(std::string& error) override {
        error = "this program was built without the PostgreSQL client; send the spool with korvane-records send";
        return false;
    }
    void Disconnect() override {}
    StoreResult PrepareTable(std::string&) override { return StoreResult::kLost; }
    StoreResult Insert(const StationRow&, std::string&) override { return StoreResult::kLost; }
};

}  // namespace

std::unique_ptr<IRecordsDatabase> MakeRecordsDatabase(const std::string&) {
    return std::make_unique<AbsentRecordsDatabase>();
}

}  // namespace korvane
