// How soon a finished terminal's row is in the shared table while the server is up: the
// time from Submit (the front end hands over the row) until a separate connection sees it,
// polled every millisecond. Needs a PostgreSQL server: KORVANE_BENCH_RECORDS names it
// (bench/records_queries.sh and scripts/records-server make one). Target: within 1 s.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "records/pg_connection.h"
#include "records/records_writer.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

void BM_RowDelivery(benchmark::State& state) {
    const char* url = std::getenv("KORVANE_BENCH_RECORDS");
    if (url == nullptr || *url == '\0') {
        state.SkipWithError("no records server: set KORVANE_BENCH_RECORDS to a connection string");
        return;
    }
    testing::TempDir dir;
    RecordsWriter writer(MakeRecordsDatabase(url), RecordSpool(dir.File("records-spool")), {});
    writer.Start();
    PgConnection reader(url);
    std::string error;
    if (!reader.Connect(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    int n = 0;
    const std::string run = std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
    for (auto _ : state) {
        StationRow row;
        row.station = "bench-delivery";
        row.sessionId = run + "-" + std::to_string(++n);
        row.passed = true;
        row.message = "PASS";
        row.finishedAt = "2026-12-10T16:52:46+00:00";
        const auto start = std::chrono::steady_clock::now();
        writer.Submit(row);
        for (;;) {
            const PgResult found = reader.Exec("SELECT 1 FROM terminal_results WHERE station = $1 AND session_id = $2",
                                               {row.station.c_str(), row.sessionId.c_str()}, error);
            if (found && PQntuples(found.get()) == 1) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_RowDelivery)->UseManualTime()->Iterations(50)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
