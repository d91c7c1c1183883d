# Sourced by the Wine test scripts: a Wine prefix of the script's own whose Wine server stays up
# from its set-up to the script's clean-up.
#   wine_prefix_start PREFIX  makes the prefix and exports WINEPREFIX (with Wine quiet, and Mono
#                             and Gecko off so that nothing asks); false when Wine cannot
#   wine_prefix_stop          ends the prefix's server and every Wine program still in it
#   windows_path PATH         PATH as a Windows program sees it (Wine's drive Z: is the root)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

wine_prefix=""

wine_prefix_start() {
  wine_prefix="$1"
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$wine" wineboot --init >/dev/null 2>&1 || return 1
  [ -d "$WINEPREFIX/dosdevices" ] || return 1
  # wineboot's desktop has no display: a window program started while it lingers joins it
  # and can make no window. Wait until that server and its desktop have gone, then keep a
  # server up, since a program connecting while a server shuts down fails outright
  # ("recvmsg: Connection reset by peer").
  timeout 60 "$wineserver" -w || return 1
  "$wineserver" -p >/dev/null 2>&1
}

# Only the prefix this script made: a WINEPREFIX from the caller's environment is left alone.
wine_prefix_stop() {
  [ -z "$wine_prefix" ] || WINEPREFIX="$wine_prefix" "$wineserver" -k 2>/dev/null || true
}

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
