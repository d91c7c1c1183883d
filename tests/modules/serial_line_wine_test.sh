#!/usr/bin/env bash
# Runs serial_line_wine_tests.exe under Wine against a simulated terminal that never answers,
# linked into a Wine prefix of this script's own as a COM port.
#
# Usage: serial_line_wine_test.sh TEST_EXE LINUX_BIN WORK_DIR
#   TEST_EXE   serial_line_wine_tests.exe
#   LINUX_BIN  folder with korvane-sim (the default preset's bin)
#   WORK_DIR   scratch folder (emptied first)
set -euo pipefail

[ $# -eq 3 ] || { sed -n '5,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
test_exe="$1"
linux_bin="$(cd "$2" && pwd)"
work="$3"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
port=47

fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=../integration/wine/wine_prefix.sh
source "$repo/tests/integration/wine/wine_prefix.sh"

[ -x "$linux_bin/korvane-sim" ] || fail "$linux_bin/korvane-sim is missing: build the default preset first"
[ -f "$test_exe" ] || fail "$test_exe is missing"

rm -rf "$work"
mkdir -p "$work/ports"
work="$(cd "$work" && pwd)"

sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  wine_prefix_stop
}
trap cleanup EXIT

wine_prefix_start "$work/wine" || fail "Wine could not make a prefix in $work/wine"

"$linux_bin/korvane-sim" --ports "$work/ports" --wine-prefix "$WINEPREFIX" --first-port "$port" \
  --fault silent --no-verify --keep-running > "$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -L "$WINEPREFIX/dosdevices/com$port" ] && break
  sleep 0.1
done
[ -L "$WINEPREFIX/dosdevices/com$port" ] || fail "the simulated terminal was not linked: $(cat "$work/sim.log")"

KORVANE_SILENT_PORT="\\\\.\\COM$port" "$wine" "$test_exe"
