#!/usr/bin/env bash
# The Windows window program under Wine with a configuration folder that has no keyPair.bin:
# its fatal start-up message comes as a message box with the caption "KorvaneAppDownload",
# the message's text and one OK button; once a probe presses OK the program ends with status 2.
# Runs on a display with WINEPREFIX set (run_on_display.sh).
#
# Usage: start_message_test.sh WINDOWS_BIN PROBE WORK_DIR
#   WINDOWS_BIN  folder with KorvaneAppDownload.exe and its DLLs
#   PROBE        message_box_probe.exe
#   WORK_DIR     scratch folder (emptied first)
set -euo pipefail

[ $# -eq 3 ] || { sed -n '7,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
win_bin="$(cd "$1" && pwd)"
probe="$(realpath "$2")"
work="$(realpath -m "$3")"
wine=/usr/lib/wine/wine64
fail() { echo "FAIL: $*" >&2; exit 1; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

rm -rf "$work"
mkdir -p "$work/config"
cp "$(dirname "$0")/../../../res/sample-config/"*.ini "$work/config/"

"$wine" "$win_bin/KorvaneAppDownload.exe" --config-dir "$(windows_path "$work/config")" \
  > "$work/program.out" 2> "$work/program.err" &
program=$!
"$wine" "$probe" KorvaneAppDownload 60000 > "$work/probe.out" 2> "$work/probe.err" || {
  kill "$program" 2>/dev/null || true
  fail "no message box: $(cat "$work/probe.err")"
}
status=0
wait "$program" || status=$?
probed="$(tr -d '\r' < "$work/probe.out")"
echo "== message box"; echo "$probed"
expected="text: Cannot open ($(windows_path "$work/config")\\keyPair.bin)."
grep -qxF "$expected" <<< "$probed" || fail "the box does not say: $expected"
[ "$(grep -c '^button: ' <<< "$probed")" -eq 1 ] || fail "the box has other buttons than one OK"
[ "$status" -eq 2 ] || fail "the program ended with status $status after OK, not 2"
echo "PASS: the start-up message box, and status 2 after OK"
