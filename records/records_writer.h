// The station's background writer: every finished terminal's row goes durably into the
// spool on the caller's thread, then a thread of its own sends what the spool holds to the
// database and removes each row the server has. While the server cannot be reached or
// refuses rows, the operator is told once and the writer tries again, more and more
// seldom up to a few seconds apart; rows left at the end stay in the spool for the next
// start. No caller ever waits for the database, but Start for at most its start wait.
// Thread safety: Submit from any one thread at a time; Start and Stop from the owner's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "records/records_database.h"
#include "records/spool.h"

namespace korvane {

struct RecordsWriterTiming {
    std::chrono::milliseconds startWait{1000};   // how long Start waits for the first attempt
    std::chrono::milliseconds retryFirst{500};    // the first pause after a failed attempt
    std::chrono::milliseconds retryLongest{5000}; // the pause doubles up to this
};

class RecordsWriter {
public:
    using Warn = std::function<void(const std::string&)>;

    // warn: the operator's message; called from the writer's thread or Submit's caller.
    RecordsWriter(std::unique_ptr<IRecordsDatabase> database, RecordSpool spool, Warn warn,
                  RecordsWriterTiming timing = {});
    // Stops without waiting; what is not sent stays spooled.
    ~RecordsWriter();
    RecordsWriter(const RecordsWriter&) = delete;
    RecordsWriter& operator=(const RecordsWriter&) = delete;

    // Starts the writer, which first sends the rows an earlier run left in the spool, and
    // waits at most the start wait for that first attempt.
    void Start();
    // Spools the row durably and wakes the writer; false (and the operator told) when the
    // spool cannot be written, in which case the row is still offered to the server once.
    bool Submit(const StationRow& row);
    // Waits at most `wait` until every submitted row has reached the server, or until an
    // attempt made after the last Submit failed. True when all were sent.
    bool WaitSent(std::chrono::milliseconds wait);
    // WaitSent(wait), then ends the writer's thread.
    void Stop(std::chrono::milliseconds wait);

    // Rows the server took in this run.
    uint64_t Stored() const;

private:
    enum class Problem { kNone, kUnreachable, kRefused };

    void Run();
    // One pass over the spool; false when it ended on a problem.
    bool SendWaiting();
    void Tell(Problem problem, const std::string& message);

    std::unique_ptr<IRecordsDatabase> database_;
    RecordSpool spool_;
    Warn warn_;
    RecordsWriterTiming timing_;
    bool tableReady_ = false;     // writer's thread only
    bool toldUnreachable_ = false;
    bool toldRefused_ = false;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool wake_ = false;
    uint64_t submitted_ = 0;      // Submit calls so far
    uint64_t attemptedUpTo_ = 0;  // submissions the last finished pass started after
    bool lastPassOk_ = false;
    bool firstPassDone_ = false;
    uint64_t stored_ = 0;
    std::vector<StationRow> unspooled_;  // rows whose spool file could not be written
    std::thread thread_;
};

}  // namespace korvane
