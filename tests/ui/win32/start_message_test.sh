#!/usr/bin/env bash
# The Windows window program under Wine when it cannot start:
#   - a configuration folder without keyPair.bin, or an option it does not take: the reason
#     comes as a message box with the caption "KorvaneAppDownload", the text and one OK button,
#     and once a probe presses OK the program ends with status 2;
#   - no display at all: no window and no box can be made, so stderr says why, with status 2.
# Runs on a display with WINEPREFIX set (run_on_display.sh).
#
# Usage: start_message_test.sh WINDOWS_BIN PROBE WORK_DIR
#   WINDOWS_BIN  folder with KorvaneAppDownload.exe and its DLLs
#   PROBE        message_box_probe.exe
#   WORK_DIR     scratch folder (emptied first)
set -euo pipefail

[ $# -eq 3 ] || { sed -n '9,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
win_bin="$(cd "$1" && pwd)"
probe="$(realpath "$2")"
work="$(realpath -m "$3")"
wine=/usr/lib/wine/wine64
fail() { echo "FAIL: $*" >&2; exit 1; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

rm -rf "$work"
mkdir -p "$work/config"
cp "$(dirname "$0")/../../../res/sample-config/"*.ini "$work/config/"
config="$(windows_path "$work/config")"

# One case: the program started with ARGS must show a box whose text is TEXT, with one button,
# and end with status 2 once it is pressed.
# Usage: expect_box NAME TEXT ARGS...
expect_box() {
  local name="$1" text="$2" program status=0 probed
  shift 2
  "$wine" "$win_bin/KorvaneAppDownload.exe" "$@" > "$work/$name.out" 2> "$work/$name.err" &
  program=$!
  "$wine" "$probe" KorvaneAppDownload 60000 > "$work/$name.probe" 2> "$work/$name.probe-err" || {
    kill "$program" 2>/dev/null || true
    fail "$name: no message box: $(cat "$work/$name.probe-err")"
  }
  wait "$program" || status=$?
  probed="$(tr -d '\r' < "$work/$name.probe")"
  echo "== $name: message box"; echo "$probed"
  grep -qxF "text: $text" <<< "$probed" || fail "$name: the box does not say: $text"
  [ "$(grep -c '^button: ' <<< "$probed")" -eq 1 ] || fail "$name: the box has other buttons than one OK"
  [ "$status" -eq 2 ] || fail "$name: the program ended with status $status after OK, not 2"
}

expect_box no-key "Cannot open ($config\\keyPair.bin)." --config-dir "$config"
expect_box bad-option "--count needs a whole number of at least 1" --config-dir "$config" --count 0
grep -qxF "KorvaneAppDownload: --count needs a whole number of at least 1" <(tr -d '\r' < "$work/bad-option.err") ||
  fail "bad-option: stderr does not say why"

# No display: a prefix of its own whose desktop is made without one (its server from wineboot
# gone first, so that the program makes the desktop).
no_display="$work/no-display-prefix"
stop_no_display() { WINEPREFIX="$no_display" /usr/lib/wine/wineserver -k 2>/dev/null || true; }
trap stop_no_display EXIT
WINEPREFIX="$no_display" "$wine" wineboot --init >/dev/null 2>&1 || fail "wineboot could not make a Wine prefix"
WINEPREFIX="$no_display" timeout 60 /usr/lib/wine/wineserver -w
status=0
WINEPREFIX="$no_display" env -u DISPLAY "$wine" "$win_bin/KorvaneAppDownload.exe" --config-dir "$config" --autostart \
  > "$work/no-display.out" 2> "$work/no-display.err" || status=$?
echo "== no display: stderr"; cat "$work/no-display.err"
[ "$status" -eq 2 ] || fail "no display: the program ended with status $status, not 2"
grep -q "^KorvaneAppDownload: Cannot open the window[:( ]" <(tr -d '\r' < "$work/no-display.err") ||
  fail "no display: stderr does not say the window could not be opened"
echo "PASS: the start-up message boxes, the message without a display, and status 2"
