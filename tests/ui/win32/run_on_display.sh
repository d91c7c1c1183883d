#!/usr/bin/env bash
# Runs a Windows program under Wine, or a script that starts Windows programs, on a virtual
# display of 1920 x 1080 at 24 bits, in a Wine prefix of its own (WINEPREFIX) with font
# smoothing off (smoothed text has colours of its own, which would skew the colours a test
# samples). Stops the prefix's Wine server at the end.
#
# Usage: run_on_display.sh PREFIX PROGRAM [ARGUMENTS...]
#   PREFIX   Wine prefix folder (made on first use)
#   PROGRAM  a .exe or .com runs under Wine, anything else as it is; the arguments are passed on
set -euo pipefail

[ $# -ge 2 ] || { sed -n '7,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
prefix="$(realpath -m "$1")"
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

stop_wine() { /usr/lib/wine/wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

if [ ! -f "$prefix/.display-ready" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot --init >/dev/null 2>&1
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /t REG_SZ /d 0 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$prefix/.display-ready"
fi

case "$1" in
  *.exe | *.com) set -- "$wine" "$@" ;;
esac
# -a picks a free display number, so tests on their own displays can run at once.
xvfb-run -a -s "-screen 0 1920x1080x24" "$@"
