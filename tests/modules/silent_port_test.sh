#!/usr/bin/env bash
# Runs a Windows test program under Wine with COM<n> linked to a fresh pseudo-terminal that
# nobody writes to: every open of /dev/ptmx makes a new one, so a read there waits for good.
#
# Usage: silent_port_test.sh WINEPREFIX PORT COMMAND...
set -euo pipefail

prefix="$1"
port="$2"
shift 2
link="$prefix/dosdevices/com$port"
[ -e "$link" ] && [ ! -L "$link" ] && { echo "$link is not a link" >&2; exit 1; }
ln -sfn /dev/ptmx "$link"
trap 'rm -f "$link"' EXIT
KORVANE_TEST_SILENT_PORT="$port" "$@"
