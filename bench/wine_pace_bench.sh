#!/usr/bin/env bash
# A 64 KiB server image into one simulated terminal paced at 115200 baud, 8N1, by the Windows
# program under Wine and by the Linux program, run by turns. The transfer is timed by the
# terminal itself, from its "download-open" event (command 48) to its "image" event (the last
# image packet taken), and set against the wire time of the bytes that crossed the line in that
# span (counted from the terminal's record: every image packet's frame and every answer).
# Prints each run and the medians.
#
# Usage: bench/wine_pace_bench.sh [RUNS]   (default 3 of each)
# Needs the default and windows presets built (scripts/test builds both).
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-3}"
case "$runs" in ''|*[!0-9]*) echo "usage: bench/wine_pace_bench.sh [RUNS]" >&2; exit 2 ;; esac
linux_bin="$repo/build/default/bin"
win_bin="$repo/build/windows/bin"
work="$repo/build/wine-pace-bench"
port=41
baud=115200

rm -rf "$work"
mkdir -p "$work"
# shellcheck source=../tests/integration/wine/wine_prefix.sh
. "$repo/tests/integration/wine/wine_prefix.sh"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
  done
  wine_prefix_stop
}
trap cleanup EXIT
wine_prefix_start "$work/wine" || { echo "$(basename "$0"): Wine cannot make a prefix in $work/wine" >&2; exit 1; }

config="$work/config"
"$repo/scripts/make-config" "$config" --bin "$linux_bin" >/dev/null
# 128-byte header and 64 KiB of payload.
head -c $((128 + 64 * 1024)) /dev/urandom > "$work/image.bin"
"$repo/scripts/serve-images" "$config" --bin "$linux_bin" --one-image --main "$work/image.bin" \
  > "$work/image-server.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  grep -q '^URL_A=.\+' "$config/DevPath.ini" && grep -q '^DownloadApp=1' "$config/KorvaneAppDownload.ini" && break
  sleep 0.1
done
sleep 0.5

# One run: the program against one paced terminal; prints "seconds wire_seconds".
run_once() {
  local kind="$1" out="$work/$2"
  mkdir -p "$out/ports"
  local program=("$linux_bin/KorvaneAppDownload") config_arg="$config" ports="$out/ports"
  if [ "$kind" = windows ]; then
    program=("$wine" "$win_bin/KorvaneAppDownload.exe")
    config_arg="$(windows_path "$config")"
    ports="$(windows_path "$out/ports")"
  fi
  KORVANE_VIRTUAL_PORTS="$ports" "${program[@]}" --headless --config-dir "$config_arg" --count 1 --timeout 120 \
    > "$out/program.out" 2>&1 &
  local program_pid=$!
  pids+=("$program_pid")
  sleep 2
  "$repo/scripts/sim-until-heard" "$linux_bin" "$out/sim.log" --ports "$out/ports" --wine-prefix "$WINEPREFIX" \
    --first-port "$port" --mode loader --baud "$baud" --key "$config/keyPair.bin" --out "$out/sim" &
  local sim_pid=$!
  pids+=("$sim_pid")
  if ! wait "$program_pid"; then
    kill "$sim_pid" 2>/dev/null || true
    echo "$kind run failed:" >&2
    cat "$out/program.out" >&2
    exit 1
  fi
  wait "$sim_pid" || true
  awk -v baud="$baud" -f "$repo/bench/image_span.awk" "$out/sim/events.jsonl" "$out/sim/COM$port/record.jsonl"
}

declare -A results
for ((i = 1; i <= runs; i++)); do
  for kind in linux windows; do
    line="$(run_once "$kind" "$kind-$i")"
    results[$kind]+="$line"$'\n'
    echo "$kind run $i: $line"
  done
done

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for kind in linux windows; do
  ratio="$(awk '{printf "%.4f\n", $1 / $2}' <<< "${results[$kind]%$'\n'}" | median)"
  seconds="$(awk '{print $1}' <<< "${results[$kind]%$'\n'}" | median)"
  echo "$kind: median transfer ${seconds} s, median transfer/wire ${ratio}"
done
