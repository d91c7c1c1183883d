#!/usr/bin/env bash
# The records tool on a table of one million generated rows (8 stations, 30 days, about 1.2
# sessions per unit, 6 % failed with 12 messages) in a throwaway PostgreSQL server: the wall
# time of `units --tusn`, a 12-hour `summary` and a 12-hour `report --html` (median of 5 runs
# each, the tool's whole run including its connection), and the plans of their queries with
# the server's own timings.
# Usage: bench/records_queries.sh [BIN_DIR]   (default build/default/bin)
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
bin="${1:-$repo/build/default/bin}"
work="$(mktemp -d /tmp/korvane-records-bench.XXXXXX)"
chmod 755 "$work"
trap '"$repo/scripts/records-server" stop "$work/pg" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

url="$("$repo/scripts/records-server" start "$work/pg")"
"$bin/korvane-records" init --db "$url" >/dev/null
echo "== generating 1000000 rows"
start=$(date +%s.%N)
psql "$url" -XAtq -v ON_ERROR_STOP=1 <<'SQL'
INSERT INTO terminal_results (station, session_id, port, binding_position, result, message, command, bytes, seconds,
                              started_at, finished_at, tusn, loader_version, image_md5, log_file, log_text)
SELECT 'line-' || (i % 8 + 1), 's' || i, 1 + i % 16, (1 + i % 16)::text,
       CASE WHEN i % 17 = 0 THEN 'Failed' ELSE 'Passed' END,
       CASE WHEN i % 17 = 0 THEN 'failure message ' || (i / 17) % 12 ELSE 'PASS' END,
       CASE WHEN i % 17 = 0 THEN 35 END, 1048576, 20 + i % 40,
       now() - i * interval '2.592 seconds' - interval '30 seconds', now() - i * interval '2.592 seconds',
       lpad((i * 5 / 6)::text, 12, '0'), 'QV41C LOADER QV41C_LD_V1.0.0', md5(i::text), '/logs/COM' || i,
       CASE WHEN i % 17 = 0 THEN repeat('log line of a failed session\n', 40) END
FROM generate_series(1, 1000000) i;
ANALYZE terminal_results;
SQL
echo "generated in $(awk "BEGIN { print $(date +%s.%N) - $start }") s; table and indexes: $(psql "$url" -XAtqc \
  "SELECT pg_size_pretty(pg_total_relation_size('terminal_results'))")"

median_ms() {
  local times=() t0 t1
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}
tusn="$(psql "$url" -XAtqc "SELECT tusn FROM terminal_results WHERE session_id = 's500000'")"
echo "== wall time of the tool, median of 5 (ms)"
echo "units --tusn $tusn: $(median_ms "$bin/korvane-records" units --tusn "$tusn" --db "$url")"
echo "summary --since 12h: $(median_ms "$bin/korvane-records" summary --since 12h --db "$url")"
echo "report --since 12h --html: $(median_ms "$bin/korvane-records" report --since 12h --html "$work/shift.html" --db "$url")"

echo "== plans (the server's execution times)"
plan() {
  echo "-- $1"
  psql "$url" -XAtq -c "EXPLAIN (ANALYZE, COSTS OFF, TIMING ON) $2" | grep -E "Scan|Execution Time|Planning Time"
}
window="finished_at >= now() - make_interval(secs => 43200)"
plan "units" "SELECT * FROM terminal_results WHERE tusn = '$tusn' ORDER BY finished_at DESC"
plan "summary totals" "SELECT station, count(DISTINCT tusn), count(*) FILTER (WHERE result = 'Passed'),
  percentile_cont(0.5) WITHIN GROUP (ORDER BY seconds) FROM terminal_results WHERE $window GROUP BY station"
plan "failures of the window" "SELECT message, count(*) FROM terminal_results WHERE result = 'Failed' AND $window
  GROUP BY message ORDER BY 2 DESC"
