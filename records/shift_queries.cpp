#include "records/shift_queries.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <system_error>

#include "records/pg_connection.h"

namespace korvane {

namespace {

// The window's rows: a range of the finished_at index, and of one station when asked.
constexpr const char* kWindow =
    "finished_at >= now() - make_interval(secs => $1::double precision) AND ($2 = '' OR station = $2)";
constexpr const char* kTime = "to_char(finished_at, 'YYYY-MM-DD\"T\"HH24:MI:SSOF')";

std::string Text(const pg_result* result, int row, int column) {
    return PQgetisnull(result, row, column) ? std::string() : std::string(PQgetvalue(result, row, column));
}

int64_t Int(const pg_result* result, int row, int column) {
    const std::string text = Text(result, row, column);
    int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double Real(const pg_result* result, int row, int column) {
    const std::string text = Text(result, row, column);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string SecondsText(double seconds) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3).ptr;
    return std::string(text, end);
}

}  // namespace

double StationSummary::Yield() const {
    const int64_t sessions = passed + failed;
    return sessions == 0 ? 0.0 : 100.0 * static_cast<double>(passed) / static_cast<double>(sessions);
}

bool QueryUnit(PgConnection& db, const std::string& tusn, std::vector<UnitSession>& sessions, std::string& error) {
    const std::string sql = std::string("SELECT station, session_id, port, binding_position, result, message, command,"
                                        " bytes, seconds, to_char(started_at, 'YYYY-MM-DD\"T\"HH24:MI:SSOF'), ") +
                            kTime +
                            ", tusn, loader_version, image_md5, log_file FROM terminal_results"
                            " WHERE tusn = $1 ORDER BY finished_at DESC, station, session_id";
    const PgResult result = db.Exec(sql, {tusn.c_str()}, error);
    if (!result) {
        return false;
    }
    sessions.clear();
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        UnitSession s;
        std::string* fields[] = {&s.station,  &s.sessionId,  &s.port, &s.bindingPosition, &s.result,
                                 &s.message,  &s.command,    &s.bytes, &s.seconds,        &s.startedAt,
                                 &s.finishedAt, &s.tusn,     &s.loaderVersion, &s.imageMd5, &s.logFile};
        for (int column = 0; column < static_cast<int>(std::size(fields)); ++column) {
            *fields[column] = Text(result.get(), row, column);
        }
        sessions.push_back(std::move(s));
    }
    return true;
}

bool QuerySummary(PgConnection& db, double sinceSeconds, const std::string& station,
                  std::vector<StationSummary>& summaries, std::string& error) {
    const std::string since = SecondsText(sinceSeconds);
    const std::vector<const char*> params = {since.c_str(), station.c_str()};
    const PgResult totals = db.Exec(
        std::string("SELECT station, count(DISTINCT CASE WHEN tusn = '' THEN 's:' || session_id ELSE 't:' || tusn END),"
                    " count(*) FILTER (WHERE result = 'Passed'), count(*) FILTER (WHERE result = 'Failed'),"
                    " percentile_cont(0.5) WITHIN GROUP (ORDER BY seconds)"
                    " FROM terminal_results WHERE ") +
            kWindow + " GROUP BY station ORDER BY station",
        params, error);
    if (!totals) {
        return false;
    }
    const std::string top = std::to_string(kTopFailures);
    const PgResult failures = db.Exec(
        std::string("SELECT station, message, n FROM (SELECT station, message, count(*) AS n,"
                    " row_number() OVER (PARTITION BY station ORDER BY count(*) DESC, message) AS rank"
                    " FROM terminal_results WHERE result = 'Failed' AND ") +
            kWindow + " GROUP BY station, message) ranked WHERE rank <= $3 ORDER BY station, rank",
        {since.c_str(), station.c_str(), top.c_str()}, error);
    if (!failures) {
        return false;
    }
    summaries.clear();
    std::map<std::string, size_t> index;
    for (int row = 0; row < PQntuples(totals.get()); ++row) {
        StationSummary s;
        s.station = Text(totals.get(), row, 0);
        s.units = Int(totals.get(), row, 1);
        s.passed = Int(totals.get(), row, 2);
        s.failed = Int(totals.get(), row, 3);
        s.medianSeconds = Real(totals.get(), row, 4);
        index[s.station] = summaries.size();
        summaries.push_back(std::move(s));
    }
    for (int row = 0; row < PQntuples(failures.get()); ++row) {
        if (const auto found = index.find(Text(failures.get(), row, 0)); found != index.end()) {
            summaries[found->second].topFailures.push_back({Text(failures.get(), row, 1), Int(failures.get(), row, 2)});
        }
    }
    return true;
}

bool QueryShiftReport(PgConnection& db, double sinceSeconds, const std::string& station, ShiftReport& report,
                      std::string& error) {
    if (!QuerySummary(db, sinceSeconds, station, report.stations, error)) {
        return false;
    }
    const std::string since = SecondsText(sinceSeconds);
    const std::vector<const char*> params = {since.c_str(), station.c_str()};
    const PgResult hours = db.Exec(
        std::string("SELECT station, to_char(date_trunc('hour', finished_at), 'YYYY-MM-DD HH24:00'),"
                    " count(*) FILTER (WHERE result = 'Passed'), count(*) FROM terminal_results WHERE ") +
            kWindow + " GROUP BY 1, 2 ORDER BY 1, 2",
        params, error);
    const PgResult axis =
        hours ? db.Exec("SELECT to_char(h, 'YYYY-MM-DD HH24:00') FROM generate_series(date_trunc('hour', now() -"
                        " make_interval(secs => $1::double precision)), date_trunc('hour', now()), interval '1 hour') h",
                        {since.c_str()}, error)
              : nullptr;
    const std::string bars = std::to_string(kParetoBars);
    const PgResult pareto =
        axis ? db.Exec(std::string("SELECT message, count(*) FROM terminal_results WHERE result = 'Failed' AND ") +
                            kWindow + " GROUP BY message ORDER BY count(*) DESC, message LIMIT $3",
                        {since.c_str(), station.c_str(), bars.c_str()}, error)
              : nullptr;
    const std::string shown = std::to_string(kFailedShown);
    const PgResult failed =
        pareto ? db.Exec(std::string("SELECT station, ") + kTime +
                             ", tusn, message, command, coalesce(log_text, ''), count(*) OVER ()"
                             " FROM terminal_results WHERE result = 'Failed' AND " +
                             kWindow + " ORDER BY finished_at DESC, station, session_id LIMIT $3",
                         {since.c_str(), station.c_str(), shown.c_str()}, error)
               : nullptr;
    if (!failed) {
        return false;
    }
    for (int row = 0; row < PQntuples(axis.get()); ++row) {
        report.hourAxis.push_back(Text(axis.get(), row, 0));
    }
    for (int row = 0; row < PQntuples(hours.get()); ++row) {
        report.hours.push_back(
            {Text(hours.get(), row, 0), Text(hours.get(), row, 1), Int(hours.get(), row, 2), Int(hours.get(), row, 3)});
    }
    for (int row = 0; row < PQntuples(pareto.get()); ++row) {
        report.pareto.push_back({Text(pareto.get(), row, 0), Int(pareto.get(), row, 1)});
    }
    const int rows = PQntuples(failed.get());
    for (int row = 0; row < rows; ++row) {
        report.failed.push_back({Text(failed.get(), row, 0), Text(failed.get(), row, 1), Text(failed.get(), row, 2),
                                 Text(failed.get(), row, 3), Text(failed.get(), row, 4), Text(failed.get(), row, 5)});
    }
    report.failedNotShown = rows > 0 ? Int(failed.get(), 0, 6) - rows : 0;
    return true;
}

}  // namespace korvane
