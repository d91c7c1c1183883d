#include "records/records_writer.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace korvane {

RecordsWriter::RecordsWriter(std::unique_ptr<IRecordsDatabase> database, RecordSpool spool, Warn warn,
                             RecordsWriterTiming timing)
    : database_(std::move(database)), spool_(std::move(spool)), warn_(std::move(warn)), timing_(timing) {}

RecordsWriter::~RecordsWriter() {
    Stop(std::chrono::milliseconds(0));
}

void RecordsWriter::Start() {
    std::unique_lock lock(mutex_);
    if (thread_.joinable()) {
        return;
    }
    thread_ = std::thread([this] { Run(); });
    changed_.wait_for(lock, timing_.startWait, [this] { return firstPassDone_; });
}

bool RecordsWriter::Submit(const StationRow& row) {
    std::string error;
    const bool spooled = spool_.Put(row, error);
    if (!spooled && warn_) {
        warn_(error);
    }
    std::lock_guard lock(mutex_);
    if (!spooled) {
        unspooled_.push_back(row);
    }
    ++submitted_;
    wake_ = true;
    changed_.notify_all();
    return spooled;
}

bool RecordsWriter::WaitSent(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [this] { return attemptedUpTo_ == submitted_ && !wake_ && firstPassDone_; });
    return attemptedUpTo_ == submitted_ && !wake_ && lastPassOk_;
}

void RecordsWriter::Stop(std::chrono::milliseconds wait) {
    if (wait.count() > 0) {
        WaitSent(wait);
    }
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

uint64_t RecordsWriter::Stored() const {
    std::lock_guard lock(mutex_);
    return stored_;
}

void RecordsWriter::Run() {
    std::chrono::milliseconds pause = timing_.retryFirst;
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const uint64_t seen = submitted_;
        wake_ = false;
        lock.unlock();
        const bool ok = SendWaiting();
        lock.lock();
        attemptedUpTo_ = seen;
        lastPassOk_ = ok;
        firstPassDone_ = true;
        changed_.notify_all();
        if (ok) {
            pause = timing_.retryFirst;
            changed_.wait(lock, [this] { return stop_ || wake_; });
        } else {
            changed_.wait_for(lock, pause, [this] { return stop_; });
            pause = std::min(pause * 2, timing_.retryLongest);
        }
    }
    database_->Disconnect();
}

bool RecordsWriter::SendWaiting() {
    std::string error;
    if (!database_->Connect(error)) {
        tableReady_ = false;
        Tell(Problem::kUnreachable, "records: the database cannot be reached (" + error +
                                        "); results wait in " + spool_.Folder() + " and are sent when it is back");
        return false;
    }
    if (!tableReady_) {
        const StoreResult table = database_->PrepareTable(error);
        if (table != StoreResult::kStored) {
            if (table == StoreResult::kLost) {
                database_->Disconnect();
            }
            Tell(Problem::kRefused, "records: the database takes no results (" + error + "); they wait in " +
                                        spool_.Folder());
            return false;
        }
        tableReady_ = true;
    }
    std::vector<RecordSpool::Entry> waiting;
    {
        std::lock_guard lock(mutex_);
        for (StationRow& row : std::exchange(unspooled_, {})) {
            waiting.push_back({std::string(), std::move(row)});
        }
    }
    std::vector<std::string> unreadable;
    for (RecordSpool::Entry& entry : spool_.Pending(&unreadable)) {
        waiting.push_back(std::move(entry));
    }
    for (const std::string& file : unreadable) {
        Tell(Problem::kNone, "records: " + file + " holds no result; it was moved to the spool's rejected folder");
    }
    for (size_t i = 0; i < waiting.size(); ++i) {
        const RecordSpool::Entry& entry = waiting[i];
        const StoreResult result = database_->Insert(entry.row, error);
        if (result == StoreResult::kStored || result == StoreResult::kRejected) {
            if (entry.file.empty()) {
                // The row never reached the spool; a rejected one is lost with a message.
            } else if (result == StoreResult::kStored) {
                spool_.Remove(entry.file);
            } else {
                spool_.SetAside(entry.file);
            }
            if (result == StoreResult::kRejected) {
                Tell(Problem::kNone, "records: the database refuses the result of session " + entry.row.sessionId +
                                         " for good (" + error + "); it is kept in " + spool_.Folder() +
                                         "/rejected");
            } else {
                std::lock_guard lock(mutex_);
                ++stored_;
            }
            continue;
        }
        // Rows that never reached the spool are kept in memory for the next pass.
        {
            std::lock_guard lock(mutex_);
            for (size_t j = i; j < waiting.size() && waiting[j].file.empty(); ++j) {
                unspooled_.push_back(std::move(waiting[j].row));
            }
        }
        if (result == StoreResult::kLost) {
            database_->Disconnect();
            tableReady_ = false;
            Tell(Problem::kUnreachable, "records: the connection to the database was lost (" + error +
                                            "); results wait in " + spool_.Folder() + " and are sent when it is back");
        } else {
            Tell(Problem::kRefused, "records: the database takes no results (" + error + "); they wait in " +
                                        spool_.Folder());
        }
        return false;
    }
    return true;
}

void RecordsWriter::Tell(Problem problem, const std::string& message) {
    bool* told = problem == Problem::kUnreachable ? &toldUnreachable_
                 : problem == Problem::kRefused   ? &toldRefused_
                                                  : nullptr;
    if ((told == nullptr || !std::exchange(*told, true)) && warn_) {
        warn_(message);
    }
}

}  // namespace korvane
