#!/bin/sh
# Keeps one wineserver alive for the whole test run of the Windows build. Without it, the prefix's
# server shuts down a few seconds after its last program ends, and a test program that connects
# while it is shutting down fails with "recvmsg: Connection reset by peer".
# Wine's own services (services.exe and the programs it starts) live as long as the server and
# keep the standard output of the program that started them: they are started here, on /dev/null,
# so that no test's output stays open after the test ends.
# Usage: wine-test-server.sh start|stop WINEPREFIX
set -u
usage() { echo "usage: $0 start|stop WINEPREFIX" >&2; exit 2; }
[ $# -eq 2 ] || usage
WINEPREFIX="$2"
export WINEPREFIX
wineserver=/usr/lib/wine/wineserver
case "$1" in
  # A server left by an interrupted run, or one about to time out, is replaced by a persistent one.
  start) "$wineserver" -k >/dev/null 2>&1
         "$wineserver" -w >/dev/null 2>&1
         "$wineserver" -p >/dev/null 2>&1 || exit 1
         exec /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1 ;;
  stop) "$wineserver" -k >/dev/null 2>&1; exit 0 ;;
  *) usage ;;
esac
