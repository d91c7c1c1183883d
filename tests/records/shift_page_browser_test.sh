#!/usr/bin/env bash
# The shift page in headless Chromium, made by korvane-records from a small data set on the
# throwaway server: it renders (a screenshot, the charts in the live page), and no request
# leaves it: Chromium is given a proxy for every address, loopback included, that writes down
# the requests it is asked for, and none may come from the page. Chromium's own calls to its
# vendor's services (time, updates, accounts), which it makes whatever it shows, are told
# apart by their host and not counted.
# Usage: shift_page_browser_test.sh TOOL SERVER_DIR WORK_DIR
# Exit status 77 (skipped) without Chromium.
set -euo pipefail

tool="$1"
server="$2"
work="$3"
browser="$(command -v chromium || true)"
[ -n "$browser" ] || { echo "no chromium (Debian package chromium)"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
url="$(cat "$server/url")"
db="page$$"
proxy_pid=""
cleanup() {
  [ -z "$proxy_pid" ] || { kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; }
  psql "$url" -XAtq -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" >/dev/null 2>&1 || true
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

psql "$url" -XAtq -v ON_ERROR_STOP=1 -c "CREATE DATABASE $db"
dburl="${url/dbname=records/dbname=$db}"
"$tool" init --db "$dburl" >/dev/null
# Two stations over the last hours; messages and logs hold markup that must stay text.
psql "$dburl" -XAtq -v ON_ERROR_STOP=1 <<'SQL'
INSERT INTO terminal_results (station, session_id, port, result, message, command, seconds, finished_at, tusn, log_text)
SELECT CASE WHEN i % 3 = 0 THEN 'line-2' ELSE 'line-1' END, 's' || i, 10 + i % 4,
       CASE WHEN i % 5 = 0 THEN 'Failed' ELSE 'Passed' END,
       CASE WHEN i % 5 <> 0 THEN 'PASS' WHEN i % 2 = 0 THEN 'remote: flash busy'
            ELSE '<img src="http://192.0.2.1/x.png"> no answer' END,
       CASE WHEN i % 5 = 0 THEN 35 END, 20 + i % 17, now() - i * interval '7 minutes', 'U' || i,
       CASE WHEN i % 5 = 0 THEN 'log line <script src="https://192.0.2.1/x.js"></script>' END
FROM generate_series(1, 90) i;
SQL
"$tool" report --since 12h --db "$dburl" --html "$work/shift.html" >/dev/null

# The proxy: a loopback listener that writes one line per connection it accepts.
python3 - "$work/proxy-port" "$work/proxy-hits" <<'PY' &
import socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(16)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
while True:
    c, _ = s.accept()
    with open(sys.argv[2], "a") as hits:
        hits.write(c.recv(200).decode("latin-1").split("\r\n")[0] + "\n")
    c.close()
PY
proxy_pid=$!
for _ in $(seq 1 50); do [ -s "$work/proxy-port" ] && break; sleep 0.1; done
port="$(cat "$work/proxy-port")"

chrome() {
  timeout 90 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --disable-domain-reliability \
    --disable-extensions --disable-default-apps --no-pings --disable-client-side-phishing-detection \
    --user-data-dir="$work/profile" --proxy-server="http://127.0.0.1:$port" --proxy-bypass-list='<-loopback>' \
    --window-size=1200,1800 "$@" "file://$work/shift.html"
}
chrome --screenshot="$work/shift.png" >"$work/chrome.log" 2>&1 || fail "chromium: $(tail -n 5 "$work/chrome.log")"
chrome --dump-dom >"$work/dom.html" 2>>"$work/chrome.log" || fail "chromium --dump-dom"

[ "$(stat -c %s "$work/shift.png")" -gt 20000 ] || fail "the screenshot is (nearly) empty"
grep -q 'aria-label="Yield per station per hour"' "$work/dom.html" || fail "no yield chart in the live page"
grep -q '<polyline' "$work/dom.html" || fail "no lines in the live page"
grep -q 'class="bar"' "$work/dom.html" || fail "no Pareto bars in the live page"
grep -q '&lt;img src=' "$work/dom.html" || fail "a message's markup became markup"
! grep -qi '<script\|<img' "$work/dom.html" || fail "the live page holds a script or an image element"
touch "$work/proxy-hits"
own='^(GET|POST|CONNECT) (https?://)?[a-z0-9.-]*\.(google\.com|googleapis\.com|gstatic\.com)[:/]'
page_requests="$(grep -Ev "$own" "$work/proxy-hits" || true)"
[ -z "$page_requests" ] || fail "requests left the page: $page_requests"
echo "shift page in Chromium: rendered, no request left it ($work/shift.png)"
