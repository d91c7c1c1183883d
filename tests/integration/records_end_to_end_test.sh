#!/usr/bin/env bash
# The station's records end to end: the console program with simulated terminals writing to a
# throwaway PostgreSQL server of this test's own.
#   1. passing, failing and unplugged terminals give one row each with the report's values;
#   2. the server down during a run, then back: the rows arrive in the same run, once, and
#      a further start doubles nothing; the operator is told once;
#   3. a killed program's spool is sent at the next start;
#   4. a role without insert rights: one message and a spool, never a failed terminal.
# Usage: records_end_to_end_test.sh BIN_DIR WORK_DIR
set -euo pipefail

bin="$1"
work="$2"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
rm -rf "$work"
mkdir -p "$work"
config="$work/config"
ports="$work/ports"
mkdir -p "$ports"

program_pid=""
sim_pid=""
cleanup() {
  for pid in "$program_pid" "$sim_pid"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill -9 "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  "$repo/scripts/records-server" stop "$work/pg" >/dev/null 2>&1 || true
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

url="$("$repo/scripts/records-server" start "$work/pg")"
sql() { psql "$url" -XAtq -v ON_ERROR_STOP=1 -c "$1"; }

"$repo/scripts/make-config" "$config" --bin "$bin" --force >/dev/null
"$repo/scripts/make-bmp16" "$config/logo.bmp" 64 32
sed -i "s|^DownloadLogo=.*|DownloadLogo=1|; s|^LogoPath=.*|LogoPath=$config/logo.bmp|" "$config/KorvaneAppDownload.ini"
export KORVANE_VIRTUAL_PORTS="$ports"
unset KORVANE_RECORDS KORVANE_STATION

# Starts the program in the background (arguments after the common ones), then, once its
# watcher runs, plugs in simulated terminals (sim arguments in $sim_args).
start_run() {
  local name="$1"
  shift
  "$bin/KorvaneAppDownload" --headless --config-dir "$config" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  program_pid=$!
  for _ in $(seq 1 300); do
    kill -0 "$program_pid" 2>/dev/null || break
    [ "$(ls "/proc/$program_pid/task" 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.1
  done
  sleep 0.5
  if [ -n "$sim_args" ]; then
    # shellcheck disable=SC2086
    "$bin/korvane-sim" --ports "$ports" --first-port 11 --key "$config/keyPair.bin" $sim_args \
      >"$work/$name.sim" 2>&1 &
    sim_pid=$!
  fi
}
end_run() {
  local status=0
  wait "$program_pid" || status=$?
  program_pid=""
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
  return "$status"
}
spooled() { ls "$config/records-spool"/*.row 2>/dev/null | wc -l; }

echo "== 1: three terminals, one passes, one fails, one is unplugged"
sim_args="--count 3 --mode loader --fault port=12:remote-error=flash_busy:cmd=11 --fault port=13:unplug-at:packet=3"
start_run one --count 3 --timeout 60 --report "$work/report.csv" --log-dir "$work/logs" --records "$url" \
  --station line-1
status=0
end_run || status=$?
[ "$status" -eq 1 ] || fail "run 1 exited with $status (expected 1: some failed); $(cat "$work/one.err")"
[ "$(sql "SELECT count(*) FROM terminal_results")" = 3 ] || fail "run 1: not three rows"
# Every row holds the report's values; times compared as instants.
psql "$url" -XAq --csv -c "SELECT port, binding_position, result, message, command, bytes, round(seconds::numeric, 1) AS seconds,
    extract(epoch FROM started_at)::bigint AS started, extract(epoch FROM finished_at)::bigint AS finished, tusn, loader_version,
    image_md5, log_file, station, log_text IS NOT NULL AS has_log FROM terminal_results ORDER BY port" >"$work/rows.csv"
python3 - "$work/report.csv" "$work/rows.csv" <<'PY' || fail "run 1: rows differ from the report"
import csv, sys
from datetime import datetime
report = sorted(csv.DictReader(open(sys.argv[1], encoding="utf-8")), key=lambda r: int(r["port"]))
rows = list(csv.DictReader(open(sys.argv[2], encoding="utf-8")))
assert len(report) == len(rows) == 3, (len(report), len(rows))
epoch = lambda t: str(int(datetime.fromisoformat(t).timestamp())) if t else ""
for r, d in zip(report, rows):
    for key in ("port", "binding_position", "result", "message", "command", "bytes", "tusn", "loader_version",
                "image_md5", "log_file"):
        assert r[key] == d[key], (key, r[key], d[key])
    assert float(r["seconds"]) == float(d["seconds"]), (r["seconds"], d["seconds"])
    assert epoch(r["started_at"]) == d["started"], ("started_at", r["started_at"], d["started"])
    assert epoch(r["finished_at"]) == d["finished"], ("finished_at", r["finished_at"], d["finished"])
    assert d["station"] == "line-1"
    assert d["has_log"] == ("t" if r["result"] == "Failed" else "f"), (r["result"], d["has_log"])
results = [r["result"] + ":" + r["message"] for r in report]
assert results[0] == "Passed:PASS" and results[1].startswith("Failed:") and "flash_busy" in results[1], results
assert results[2].startswith("Failed:"), results
PY
[ "$(spooled)" -eq 0 ] || fail "run 1 left rows in the spool"
sql "SELECT log_text FROM terminal_results WHERE port = 12" | grep -q "flash_busy" || fail "run 1: no log text"

echo "== 2: the server down during a run, then back"
"$repo/scripts/records-server" down "$work/pg"
sim_args="--count 2 --mode loader"
start_run two --timeout 14 --records "$url" --station line-1
for _ in $(seq 1 100); do [ "$(spooled)" -ge 2 ] && break; sleep 0.1; done
[ "$(spooled)" -eq 2 ] || fail "run 2: the rows are not spooled while the server is down"
"$repo/scripts/records-server" up "$work/pg"
status=0
end_run || status=$?
[ "$status" -eq 0 ] || fail "run 2 exited with $status; $(cat "$work/two.err")"
[ "$(sql "SELECT count(*) FROM terminal_results")" = 5 ] || fail "run 2: the rows did not arrive in the run"
[ "$(grep -c 'records: ' "$work/two.err")" -eq 1 ] || fail "run 2: told $(grep -c 'records: ' "$work/two.err") times"
grep -q "cannot be reached" "$work/two.err" || fail "run 2: $(cat "$work/two.err")"
sim_args=""
start_run two-again --timeout 2 --records "$url" --station line-1
end_run || true
[ "$(sql "SELECT count(*) FROM terminal_results")" = 5 ] || fail "a further start doubled rows"

echo "== 3: a killed program's spool goes at the next start"
"$repo/scripts/records-server" down "$work/pg"
sim_args="--count 2 --mode loader"
start_run three --timeout 60 --records "$url" --station line-1
for _ in $(seq 1 300); do [ "$(spooled)" -ge 2 ] && break; sleep 0.1; done
[ "$(spooled)" -eq 2 ] || fail "run 3: the rows are not spooled"
kill -9 "$program_pid"
end_run || true
"$repo/scripts/records-server" up "$work/pg"
sim_args=""
start_run three-next --timeout 2 --records "$url" --station line-1
end_run || true
[ "$(sql "SELECT count(*) FROM terminal_results")" = 7 ] || fail "run 3: the spool of the killed run was not sent"
[ "$(spooled)" -eq 0 ] || fail "run 3: rows left in the spool"
[ "$(sql "SELECT count(DISTINCT (station, session_id)) FROM terminal_results")" = 7 ] || fail "doubled rows"

echo "== 4: a role without insert rights"
sql "CREATE ROLE no_insert LOGIN"
sim_args="--count 1 --mode loader"
start_run four --count 1 --timeout 60 --records "${url/user=korvane_admin/user=no_insert}" --station line-1
status=0
end_run || status=$?
[ "$status" -eq 0 ] || fail "run 4: the terminal failed because of the records ($status); $(cat "$work/four.err")"
[ "$(grep -c 'records: ' "$work/four.err")" -eq 1 ] || fail "run 4: $(cat "$work/four.err")"
grep -q "permission denied" "$work/four.err" || fail "run 4: $(cat "$work/four.err")"
[ "$(spooled)" -eq 1 ] || fail "run 4: the row is not in the spool"
[ "$(sql "SELECT count(*) FROM terminal_results")" = 7 ] || fail "run 4 wrote a row"
echo "records end to end: all passed"
