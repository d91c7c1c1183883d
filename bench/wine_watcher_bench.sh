#!/usr/bin/env bash
# The serial-port watcher with the given number of virtual ports: the Linux program and the
# Windows program under Wine, by turns. Under Wine much of the watcher's work (every file and
# registry access) is done by the wineserver process on its behalf, so its CPU over the idle
# span is reported beside the program's own: a Wine prefix and wineserver of its own, started
# for the run and stopped after it.
#
# Usage: bench/wine_watcher_bench.sh [RUNS] [PORTS]   (default 3 runs of each, 64 ports)
# Needs the default and windows presets built.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-3}"
ports="${2:-64}"
for n in "$runs" "$ports"; do
  case "$n" in ''|*[!0-9]*) echo "usage: bench/wine_watcher_bench.sh [RUNS] [PORTS]" >&2; exit 2 ;; esac
done
linux_bench="$repo/build/default/bin/watcher_bench"
windows_bench="$repo/build/windows/bin/watcher_bench.exe"
for file in "$linux_bench" "$windows_bench"; do
  [ -e "$file" ] || { echo "wine_watcher_bench: $file is missing; build the default and windows presets" >&2; exit 2; }
done
work="$repo/build/wine-watcher-bench"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# A wineserver kept for the whole run, started first so that every Wine process of the run
# uses it and its CPU can be read from its own process.
/usr/lib/wine/wineserver -p -f &
server=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1

# The wineserver's user and system CPU seconds so far.
server_cpu() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$server/stat"; }

# Arrivals to time in each run; 5 idle samples of 2 s come first. The program says when its
# idle span begins ("ports listed") and ends ("idle CPU"); the wineserver is read at both.
arrivals=40
for ((i = 1; i <= runs; i++)); do
  echo "linux run $i (load average $(cut -d' ' -f1 /proc/loadavg)):"
  "$linux_bench" "$arrivals" 2 "$ports" | sed 's/^/  /'
  echo "windows run $i under Wine (load average $(cut -d' ' -f1 /proc/loadavg)):"
  /usr/lib/wine/wine64 "$windows_bench" "$arrivals" 2 "$ports" | while IFS= read -r line; do
    line="${line%$'\r'}"
    echo "  $line"
    case "$line" in
      "ports listed"*) before="$(server_cpu)" started="$(date +%s.%N)" ;;
      "idle CPU"*)
        awk -v b="$before" -v a="$(server_cpu)" -v s="$started" -v e="$(date +%s.%N)" \
          'BEGIN { printf "  wineserver while idle: %.2f%% of one core\n", (a - b) / (e - s) * 100 }' ;;
    esac
  done
done
