// The records writer against a database that fails on command: rows reach the table once,
// an outage or a refusal is told once and loses nothing, the spool of an earlier run goes
// first, a row the server will never take is set aside, and Start never waits long.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "records/records_writer.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;

// A table keyed by station and session id, as the real one; what it does next is set by
// the test.
struct FakeTable {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, StationRow> rows;
    int inserts = 0;  // insert calls, stored or not
    std::atomic<bool> reachable{true};
    std::atomic<StoreResult> tableAnswer{StoreResult::kStored};
    std::atomic<StoreResult> insertAnswer{StoreResult::kStored};
    std::string rejectSession;  // this session id is rejected for good
    std::atomic<int> connectMs{0};

    size_t Count() {
        std::lock_guard lock(mutex);
        return rows.size();
    }
};

class FakeDatabase final : public IRecordsDatabase {
public:
    explicit FakeDatabase(FakeTable& table) : table_(table) {}
    bool Connect(std::string& error) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(table_.connectMs.load()));
        connected_ = table_.reachable.load();
        error = "connection refused";
        return connected_;
    }
    void Disconnect() override { connected_ = false; }
    StoreResult PrepareTable(std::string& error) override {
        error = "permission denied for schema public";
        return connected_ && table_.reachable ? table_.tableAnswer.load() : StoreResult::kLost;
    }
    StoreResult Insert(const StationRow& row, std::string& error) override {
        std::lock_guard lock(table_.mutex);
        ++table_.inserts;
        if (!table_.reachable) {
            error = "server closed the connection";
            return StoreResult::kLost;
        }
        if (row.sessionId == table_.rejectSession) {
            error = "invalid input syntax for type timestamp";
            return StoreResult::kRejected;
        }
        const StoreResult answer = table_.insertAnswer.load();
        if (answer == StoreResult::kStored) {
            table_.rows.emplace(std::pair(row.station, row.sessionId), row);
        }
        error = "permission denied for table terminal_results";
        return answer;
    }

private:
    FakeTable& table_;
    bool connected_ = false;
};

StationRow Row(int n) {
    StationRow row;
    row.station = "line-1";
    row.sessionId = "session-" + std::to_string(n);
    row.port = n;
    row.passed = n % 2 == 0;
    row.finishedAt = "2026-12-10T16:52:46+01:00";
    return row;
}

// Fast retries keep the outage tests short; nothing here depends on the exact pauses.
constexpr RecordsWriterTiming kQuick{.startWait = 1000ms, .retryFirst = 5ms, .retryLongest = 20ms};

class RecordsWriterTest : public ::testing::Test {
protected:
    std::unique_ptr<RecordsWriter> MakeWriter(RecordsWriterTiming timing = kQuick) {
        return std::make_unique<RecordsWriter>(
            std::make_unique<FakeDatabase>(table_), RecordSpool(SpoolDir()),
            [this](const std::string& text) {
                std::lock_guard lock(mutex_);
                warnings_.push_back(text);
            },
            timing);
    }
    std::string SpoolDir() const { return dir_.File("records-spool"); }
    size_t Spooled() const { return RecordSpool(SpoolDir()).Pending().size(); }
    std::vector<std::string> Warnings() {
        std::lock_guard lock(mutex_);
        return warnings_;
    }
    // Waits (briefly) until the condition holds.
    template <typename Condition>
    bool Eventually(Condition condition) {
        for (int i = 0; i < 500 && !condition(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return condition();
    }

    testing::TempDir dir_;
    FakeTable table_;
    std::mutex mutex_;
    std::vector<std::string> warnings_;
};

TEST_F(RecordsWriterTest, EveryRowReachesTheTableOnceAndLeavesTheSpool) {
    auto writer = MakeWriter();
    writer->Start();
    for (int n = 1; n <= 20; ++n) {
        EXPECT_TRUE(writer->Submit(Row(n)));
    }
    EXPECT_TRUE(writer->WaitSent(5s));
    EXPECT_EQ(table_.Count(), 20u);
    EXPECT_EQ(writer->Stored(), 20u);
    EXPECT_EQ(Spooled(), 0u);
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(RecordsWriterTest, AnOutageIsToldOnceAndLosesOrDoublesNothing) {
    table_.reachable = false;
    auto writer = MakeWriter();
    writer->Start();
    for (int n = 1; n <= 5; ++n) {
        writer->Submit(Row(n));
    }
    EXPECT_FALSE(writer->WaitSent(2s));
    EXPECT_EQ(Spooled(), 5u);
    table_.reachable = true;
    ASSERT_TRUE(Eventually([&] { return table_.Count() == 5; }));
    // Down again in the middle of the run, then back.
    table_.reachable = false;
    for (int n = 6; n <= 10; ++n) {
        writer->Submit(Row(n));
    }
    EXPECT_FALSE(writer->WaitSent(2s));
    table_.reachable = true;
    // WaitSent would answer from the failed pass; the retry empties the spool.
    ASSERT_TRUE(Eventually([&] { return table_.Count() == 10 && Spooled() == 0; }));
    const std::vector<std::string> warnings = Warnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("cannot be reached"), std::string::npos);
    EXPECT_NE(warnings[0].find(SpoolDir()), std::string::npos);
}

TEST_F(RecordsWriterTest, TheSpoolOfAnEarlierRunGoesAtTheNextStart) {
    table_.reachable = false;
    {
        auto writer = MakeWriter();
        writer->Start();
        for (int n = 1; n <= 3; ++n) {
            writer->Submit(Row(n));
        }
        writer->Stop(100ms);
    }
    EXPECT_EQ(Spooled(), 3u);
    EXPECT_EQ(table_.Count(), 0u);
    table_.reachable = true;
    auto next = MakeWriter();
    next->Start();  // waits for its first pass, which sends the old rows
    EXPECT_EQ(table_.Count(), 3u);
    EXPECT_EQ(Spooled(), 0u);
    // A third start finds nothing to send and doubles nothing.
    next->Stop(1s);
    auto third = MakeWriter();
    third->Start();
    third->Submit(Row(4));
    EXPECT_TRUE(third->WaitSent(5s));
    EXPECT_EQ(table_.Count(), 4u);
}

TEST_F(RecordsWriterTest, ARefusingTableIsToldOnceAndTheRowsStaySpooled) {
    for (const bool missingTable : {true, false}) {
        SCOPED_TRACE(missingTable ? "table missing" : "no insert right");
        table_.tableAnswer = missingTable ? StoreResult::kRefused : StoreResult::kStored;
        table_.insertAnswer = missingTable ? StoreResult::kStored : StoreResult::kRefused;
        warnings_.clear();
        auto writer = MakeWriter();
        writer->Start();
        for (int n = 1; n <= 4; ++n) {
            EXPECT_TRUE(writer->Submit(Row(n)));  // a refusal never fails the terminal's row
        }
        EXPECT_FALSE(writer->WaitSent(2s));
        std::this_thread::sleep_for(100ms);  // several retries
        writer->Stop(0ms);
        EXPECT_EQ(Spooled(), 4u);
        const std::vector<std::string> warnings = Warnings();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("takes no results"), std::string::npos);
        EXPECT_NE(warnings[0].find("permission denied"), std::string::npos);
    }
}

TEST_F(RecordsWriterTest, ARowTheServerNeverTakesIsSetAsideAndTheRestGoOn) {
    table_.rejectSession = "session-2";
    auto writer = MakeWriter();
    writer->Start();
    for (int n = 1; n <= 3; ++n) {
        writer->Submit(Row(n));
    }
    EXPECT_TRUE(writer->WaitSent(5s));
    EXPECT_EQ(table_.Count(), 2u);
    EXPECT_EQ(Spooled(), 0u);
    EXPECT_TRUE(std::filesystem::exists(SpoolDir() + "/rejected/session-2.row"));
    ASSERT_EQ(Warnings().size(), 1u);
    EXPECT_NE(Warnings()[0].find("session-2"), std::string::npos);
}

TEST_F(RecordsWriterTest, AFileInTheSpoolThatHoldsNoRowIsSetAside) {
    std::filesystem::create_directories(SpoolDir());
    std::ofstream(SpoolDir() + "/broken.row") << "korvane-station-row 1\nstation=x\n";
    auto writer = MakeWriter();
    writer->Start();
    writer->Submit(Row(1));
    EXPECT_TRUE(writer->WaitSent(5s));
    EXPECT_EQ(table_.Count(), 1u);
    EXPECT_TRUE(std::filesystem::exists(SpoolDir() + "/rejected/broken.row"));
    ASSERT_EQ(Warnings().size(), 1u);
    EXPECT_NE(Warnings()[0].find("broken.row"), std::string::npos);
}

TEST_F(RecordsWriterTest, StartWaitsAtMostItsStartWaitForASlowServer) {
    table_.connectMs = 1500;
    RecordsWriterTiming timing = kQuick;
    timing.startWait = 200ms;
    auto writer = MakeWriter(timing);
    const auto started = std::chrono::steady_clock::now();
    writer->Start();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1000ms);
    // A row given meanwhile is spooled at once and sent once the server answers.
    const auto submitted = std::chrono::steady_clock::now();
    writer->Submit(Row(1));
    EXPECT_LT(std::chrono::steady_clock::now() - submitted, 500ms);
    EXPECT_EQ(Spooled(), 1u);
    EXPECT_TRUE(writer->WaitSent(10s));
    EXPECT_EQ(table_.Count(), 1u);
}

}  // namespace
}  // namespace korvane
