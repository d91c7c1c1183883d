#!/usr/bin/env bash
# The Windows program under Wine against four simulated terminals (the Linux korvane-sim, linked
# into the Wine prefix as COM ports), with two sealed images from the Linux loopback image
# server, a boot logo and a file set: every terminal must pass, and the terminals themselves
# must have received the images, logo and files with every packet's signature valid. The run
# is the console's (--headless), or the window's on a virtual display (--autostart, closing
# itself after the terminals with the console's exit status).
#
# Usage: wine_console_test.sh WINDOWS_BIN LINUX_BIN WORK_DIR [console|window]
#   WINDOWS_BIN  folder with KorvaneAppDownload.exe and its DLLs
#   LINUX_BIN    folder with korvane-sim, korvane-image-server, korvane-keygen, korvane-rsakeys
#   WORK_DIR     scratch folder (emptied first); keeps the logs of the last run
#   console|window  the front end that runs (default console)
set -euo pipefail

[ $# -eq 3 ] || [ $# -eq 4 ] || { sed -n '9,13p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
win_bin="$(cd "$1" && pwd)"
linux_bin="$(cd "$2" && pwd)"
work="$3"
front_end="${4:-console}"
case "$front_end" in console | window) ;; *) echo "front end must be console or window" >&2; exit 2 ;; esac
repo="$(cd "$(dirname "$0")/../../.." && pwd)"
terminals=4
first_port=31

fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=wine_prefix.sh
source "$(dirname "$0")/wine_prefix.sh"

for tool in korvane-sim korvane-image-server korvane-keygen korvane-rsakeys RODEdar.so; do
  [ -e "$linux_bin/$tool" ] || fail "$linux_bin/$tool is missing: build the default preset first"
done
[ -f "$win_bin/KorvaneAppDownload.exe" ] || fail "$win_bin/KorvaneAppDownload.exe is missing"

rm -rf "$work"
mkdir -p "$work/ports"
work="$(cd "$work" && pwd)"
# Accented and Chinese letters in the folder name: the program must reach every file by the
# same characters the folder has.
config="$work/config Gerät 配置"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wine_prefix_stop
}
trap cleanup EXIT

wine_prefix_start "$work/wine" || fail "Wine could not make a prefix in $work/wine"

# The configuration: fresh keys, a logo, two file sets in two partitions, two server images.
"$repo/scripts/make-config" "$config" --bin "$linux_bin" >/dev/null
set_key() {
  local ini="$config/KorvaneAppDownload.ini"
  grep -q "^$1=" "$ini" || fail "$1 missing from $ini"
  sed -i "s|^$1=.*|$1=$2|" "$ini"
}
"$repo/scripts/make-bmp16" "$config/logo.bmp" 64 32 >/dev/null
set_key DownloadLogo 1
set_key LogoPath "$(windows_path "$config/logo.bmp" | sed 's/\\/\\\\/g')"
mkdir -p "$config/files-app" "$config/files-cfg"
for i in 1 2 3; do
  seq 1 $((i * 300)) > "$config/files-app/table$i.txt"
done
printf 'volume=7\nlanguage=en\n' > "$config/files-cfg/settings.ini"
for kv in FileDownload=1 FileSystemPart1Init=1 FileSystemPart2Init=1 SPIFlashSize=16 \
          FileSystemPart1Address=256 FileSystemPart1Size=4 FileSystemPart1DriveLetter=C \
          FileSystemPart2Address=1536 FileSystemPart2Size=2 FileSystemPart2DriveLetter=D \
          FilePush1=1 TargePath1=C:/app FilePath1=files-app \
          FilePush2=1 TargePath2=D:/cfg FilePath2=files-cfg; do
  set_key "${kv%%=*}" "${kv#*=}"
done

"$repo/scripts/serve-images" "$config" --bin "$linux_bin" > "$work/image-server.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  grep -q '^URL_A=.\+' "$config/DevPath.ini" && grep -q '^DownloadApp=1' "$config/KorvaneAppDownload.ini" && break
  sleep 0.1
done
grep -q '^URL_A=.\+' "$config/DevPath.ini" || fail "the image server did not start: $(cat "$work/image-server.log")"
sleep 0.5  # the server writes the MD5 values right after URL_A

if [ "$front_end" = console ]; then
  program=("$wine" "$win_bin/KorvaneAppDownload.exe" --headless)
else
  program=(xvfb-run -a -s "-screen 0 1920x1080x24" "$wine" "$win_bin/KorvaneAppDownload.exe" --autostart)
fi
KORVANE_VIRTUAL_PORTS="$(windows_path "$work/ports")" \
  "${program[@]}" --config-dir "$(windows_path "$config")" \
  --count "$terminals" --timeout 240 --report "$(windows_path "$work/report.csv")" \
  > "$work/program.out" 2> "$work/program.err" &
program_pid=$!
pids+=("$program_pid")

# Plugged in once the program runs, and again while it does not talk to them.
sleep 2
"$repo/scripts/sim-until-heard" "$linux_bin" "$work/sim.log" --ports "$work/ports" --wine-prefix "$WINEPREFIX" \
  --count "$terminals" --first-port "$first_port" --plug-every 1000 --key "$config/keyPair.bin" --out "$work/sim" &
sim_pid=$!
pids+=("$sim_pid")

status=0
wait "$program_pid" || status=$?
pids=("${pids[@]/$program_pid}")
echo "== program output"; cat "$work/program.out"
echo "== program errors"; cat "$work/program.err"
[ "$status" -eq 0 ] || fail "the program ended with status $status"
if [ "$front_end" = console ]; then
  grep -q "terminals finished: $terminals passed, " "$work/program.out" || fail "the summary line is missing"
fi

# The report: one Passed row per terminal, and no other row.
report="$(tr -d '\r' < "$work/report.csv")"
echo "== report"; echo "$report"
for ((port = first_port; port < first_port + terminals; port++)); do
  [ "$(grep -c "^$port,[0-9]*,Passed,PASS," <<< "$report")" -eq 1 ] || fail "COM$port did not pass once in the report"
done
[ "$(grep -c '^[0-9]' <<< "$report")" -eq "$terminals" ] || fail "the report holds rows besides one per terminal"

# What the terminals received, as they recorded it.
sim_status=0
wait "$sim_pid" || sim_status=$?
pids=("${pids[@]/$sim_pid}")
[ "$sim_status" -eq 0 ] || fail "korvane-sim ended with status $sim_status: $(tail -5 "$work/sim.log")"
for ((port = first_port; port < first_port + terminals; port++)); do
  record="$work/sim/COM$port/record.jsonl"
  [ -f "$record" ] || fail "no record of COM$port"
  grep -q '"signature":"invalid"' "$record" && fail "COM$port got a packet with a bad signature"
  grep -q '"accepted":false' "$record" && fail "COM$port refused a packet"
  grep -q '"signature":"valid"' "$record" || fail "COM$port checked no signature"
  summary="$(grep '"summary"' "$record")"
  [ "$(grep -o '"address":' <<< "$summary" | wc -l)" -eq 2 ] || fail "COM$port did not store both images: $summary"
  grep -q '"logo":[1-9]' <<< "$summary" || fail "COM$port did not store the logo: $summary"
  for file in table1.txt table2.txt table3.txt settings.ini; do
    stored="$(find "$work/sim/COM$port/files" -name "$file" | head -n1)"
    [ -n "$stored" ] || fail "COM$port did not store $file"
  done
  cmp -s "$(find "$work/sim/COM$port/files" -name table3.txt | head -n1)" "$config/files-app/table3.txt" ||
    fail "COM$port stored table3.txt with other bytes"
done
echo "PASS: $terminals terminals programmed by the Windows build's $front_end under Wine"
