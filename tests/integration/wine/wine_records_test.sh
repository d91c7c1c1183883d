#!/usr/bin/env bash
# The Windows program under Wine writing its records to a throwaway PostgreSQL server on this
# machine's loopback: two simulated terminals (Linux ones, through Wine's COM ports) give two
# rows of the station, each once, with the report's results. The front end is the console
# (--headless), or with "window" the native window on a virtual display (--autostart).
# Usage: wine_records_test.sh WIN_BIN_DIR LINUX_BIN_DIR WORK_DIR [console|window]
set -euo pipefail

[ $# -ge 3 ] || { sed -n '6p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
win_bin="$(cd "$1" && pwd)"
linux_bin="$(cd "$2" && pwd)"
work="$3"
repo="$(cd "$(dirname "$0")/../../.." && pwd)"
terminals=2
case "${4:-console}" in
  console) front=(--headless) ;;
  window) front=(--autostart) ;;
  *) echo "front end: console or window" >&2; exit 2 ;;
esac
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=wine_prefix.sh
source "$(dirname "$0")/wine_prefix.sh"

rm -rf "$work"
mkdir -p "$work/ports"
work="$(cd "$work" && pwd)"
chmod 755 "$work"
config="$work/config"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wine_prefix_stop
  "$repo/scripts/records-server" stop "$work/pg" >/dev/null 2>&1 || true
}
trap cleanup EXIT

url="$("$repo/scripts/records-server" start "$work/pg")"
wine_prefix_start "$work/wine" || fail "Wine could not make a prefix in $work/wine"
"$repo/scripts/make-config" "$config" --bin "$linux_bin" >/dev/null
"$repo/scripts/make-bmp16" "$config/logo.bmp" 64 32 >/dev/null
logo="$(windows_path "$config/logo.bmp" | sed 's/\\/\\\\/g')"
sed -i "s|^DownloadLogo=.*|DownloadLogo=1|; s|^LogoPath=.*|LogoPath=$logo|" "$config/KorvaneAppDownload.ini"

program=("$wine" "$win_bin/KorvaneAppDownload.exe")
[ "${4:-console}" = console ] || program=(xvfb-run -a -s "-screen 0 1920x1080x24" "${program[@]}")
KORVANE_VIRTUAL_PORTS="$(windows_path "$work/ports")" KORVANE_RECORDS="$url" KORVANE_STATION=wine-station \
  "${program[@]}" "${front[@]}" --config-dir "$(windows_path "$config")" \
  --count "$terminals" --timeout 180 --report "$(windows_path "$work/report.csv")" \
  > "$work/program.out" 2> "$work/program.err" &
program_pid=$!
pids+=("$program_pid")
sleep 2
"$repo/scripts/sim-until-heard" "$linux_bin" "$work/sim.log" --ports "$work/ports" --wine-prefix "$WINEPREFIX" \
  --count "$terminals" --first-port 41 --plug-every 1000 --key "$config/keyPair.bin" --out "$work/sim" &
pids+=($!)

status=0
wait "$program_pid" || status=$?
echo "== program output"; cat "$work/program.out"
echo "== program errors"; cat "$work/program.err"
[ "$status" -eq 0 ] || fail "the program ended with status $status"
rows="$(psql "$url" -XAtq -c "SELECT port || ',' || result FROM terminal_results WHERE station = 'wine-station' ORDER BY port")"
echo "== rows"; echo "$rows"
[ "$rows" = "$(printf '41,Passed\n42,Passed')" ] || fail "the records do not hold one passed row per terminal"
[ -z "$(ls "$config/records-spool"/*.row 2>/dev/null)" ] || fail "rows were left in the spool"
echo "PASS: the Windows build under Wine wrote its records to PostgreSQL on loopback"
