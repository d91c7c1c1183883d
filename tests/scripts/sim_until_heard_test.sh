#!/usr/bin/env bash
# scripts/sim-until-heard with the Linux console program:
#   1. a terminal plugged in before the program's first look is plugged in again until the
#      program talks to it; the terminals it talked to at once are plugged in only once, so
#      every terminal passes in one session and the run ends with status 0;
#   2. terminals nobody talks to: status 1 after SIM_ATTEMPTS plug-ins each, nothing left
#      plugged in;
#   3. SIGTERM ends every simulated terminal and unplugs it.
# Usage: sim_until_heard_test.sh BIN_DIR WORK_DIR
set -euo pipefail

bin="$(cd "$1" && pwd)"
work="$2"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
helper="$repo/scripts/sim-until-heard"
rm -rf "$work"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
config="$work/config"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Sets ended to the status of background process $2, which must end within $1 seconds (it is
# killed after that, and ended says so).
ended_within() {
  local _
  for _ in $(seq 1 $(($1 * 10))); do
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$2" 2>/dev/null; then
    kill "$2"
    wait "$2" 2>/dev/null || true
    ended="still running after $1 s"
    return
  fi
  ended=0
  wait "$2" || ended=$?
}
plug_ins() { grep -c "COM$1 plugged" "$2" || true; }
nothing_plugged() { [ -z "$(ls -A "$1")" ]; }

"$repo/scripts/make-config" "$config" --bin "$bin" >/dev/null

echo "== 1: only the terminal the program did not see is plugged in again"
ports="$work/ports-1"
mkdir -p "$ports"
SIM_HEARD_WITHIN=3 "$helper" "$bin" "$work/sim-1.log" --ports "$ports" --count 3 --first-port 21 \
  --plug-every 2500 --mode loader --key "$config/keyPair.bin" 2> "$work/helper-1.err" &
helper_pid=$!
pids+=("$helper_pid")
for _ in $(seq 1 100); do [ -e "$ports/COM21" ] && break; sleep 0.1; done
[ -e "$ports/COM21" ] || fail "COM21 was not plugged in: $(cat "$work/sim-1.log")"
# COM21 is there before the program's first look, so the program does not see it arrive.
status=0
KORVANE_VIRTUAL_PORTS="$ports" "$bin/KorvaneAppDownload" --headless --config-dir "$config" --count 3 \
  --timeout 60 --report "$work/report-1.csv" > "$work/program-1.out" 2> "$work/program-1.err" || status=$?
ended_within 20 "$helper_pid"
pids=()
cat "$work/program-1.out" "$work/helper-1.err"
[ "$status" -eq 0 ] || fail "the program ended with status $status: $(cat "$work/program-1.err")"
[ "$ended" = 0 ] || fail "sim-until-heard after the program: $ended"
[ "$(plug_ins 21 "$work/sim-1.log")" -ge 2 ] || fail "COM21 was not plugged in again: $(cat "$work/sim-1.log")"
[ "$(plug_ins 23 "$work/sim-1.log")" -eq 1 ] || fail "COM23, heard at once, was plugged in again"
for port in 21 22 23; do
  [ "$(grep -c "^$port,.*,Passed," "$work/report-1.csv")" -eq 1 ] || fail "COM$port did not pass once: $(cat "$work/report-1.csv")"
done
[ "$(grep -c ',Failed,' "$work/report-1.csv")" -eq 0 ] || fail "a session failed: $(cat "$work/report-1.csv")"
nothing_plugged "$ports" || fail "ports left plugged in: $(ls "$ports")"

echo "== 2: terminals nobody talks to"
ports="$work/ports-2"
mkdir -p "$ports"
status=0
SIM_ATTEMPTS=2 SIM_HEARD_WITHIN=1 "$helper" "$bin" "$work/sim-2.log" --ports "$ports" --count 2 --first-port 5 \
  --mode loader --no-verify 2> "$work/helper-2.err" || status=$?
cat "$work/helper-2.err"
[ "$status" -eq 1 ] || fail "sim-until-heard ended with status $status"
grep -q "nobody talked to COM5$" "$work/helper-2.err" || fail "no word of the unheard terminal"
[ "$(plug_ins 5 "$work/sim-2.log")" -eq 2 ] || fail "COM5 was not plugged in SIM_ATTEMPTS times"
nothing_plugged "$ports" || fail "ports left plugged in: $(ls "$ports")"

echo "== 3: SIGTERM unplugs every terminal"
ports="$work/ports-3"
mkdir -p "$ports"
"$helper" "$bin" "$work/sim-3.log" --ports "$ports" --count 2 --mode loader --no-verify &
helper_pid=$!
pids+=("$helper_pid")
for _ in $(seq 1 100); do [ -e "$ports/COM1" ] && [ -e "$ports/COM2" ] && break; sleep 0.1; done
[ -e "$ports/COM2" ] || fail "the terminals were not plugged in: $(cat "$work/sim-3.log")"
kill -TERM "$helper_pid"
ended_within 10 "$helper_pid"
pids=()
[ "$ended" = 143 ] || fail "sim-until-heard after SIGTERM: $ended"
nothing_plugged "$ports" || fail "ports left plugged in: $(ls "$ports")"
echo "PASS: sim-until-heard plugs in again only the terminals nobody talked to"
