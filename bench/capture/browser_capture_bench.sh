#!/usr/bin/env bash
# Runs browser_capture_bench against Debian's Firefox ESR on its own Xvfb, window manager and
# private session bus with the accessibility bus on, on a page served from 127.0.0.1; then the idle
# CPU share of capture_idle over IDLE seconds (default 60) with that browser in front.
#
#   browser_capture_bench.sh <browser_capture_bench> <capture_idle> [captures]
set -euo pipefail
if [ -z "${MORVANE_BENCH_PRIVATE_BUS:-}" ]; then
  MORVANE_BENCH_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
bench=$1 idle=$2 captures=${3:-200}
binary=$bench
. "$(dirname "$0")/../../tests/e2e/e2e_common.sh"
MORVANE_E2E_NO_TRAY=1 start_session
dbus-update-activation-environment --all 2>/dev/null
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
  string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
site=$E2E_HOME/site
mkdir -p "$site" "$E2E_HOME/profile"
{ echo "<!doctype html><title>Bench Page</title>"; for i in $(seq 200); do echo "<p>Paragraph $i <a href=#$i>link</a></p>"; done; } >"$site/bench.html"
python3 -m http.server --bind 127.0.0.1 --directory "$site" 0 >"$E2E_HOME/server.log" 2>&1 &
wait_for 10 grep -q 'Serving HTTP' "$E2E_HOME/server.log" || fail "the page server did not start"
port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$E2E_HOME/server.log" | head -n 1)
echo 'user_pref("browser.shell.checkDefaultBrowser", false); user_pref("browser.aboutwelcome.enabled", false);' \
  >"$E2E_HOME/profile/user.js"
firefox-esr --no-remote --new-instance --profile "$E2E_HOME/profile" "http://127.0.0.1:$port/bench.html" >/dev/null 2>&1 &
firefox=$!
wait_for 60 window_titled "Bench Page — Mozilla Firefox" || fail "Firefox showed no window"
activate "$(window_titled "Bench Page — Mozilla Firefox")"
"$bench" "$captures"
QT_NO_GLIB=1 "$idle" "${IDLE:-60}"
kill "$firefox"
wait "$firefox" || true
