#!/usr/bin/env bash
# A Wayland desktop's tray: a StatusNotifierWatcher (with its host) that starts on the session bus
# after morvane, with no X11 tray at all. The icon registers with it once it appears, and with the
# next one when the panel restarts.
set -euo pipefail
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] || [ -z "${MORVANE_E2E_OWN_BUS:-}" ]; then
  MORVANE_E2E_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
binary=$1
watcher=$2
export MORVANE_E2E_NO_TRAY=1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
start_app
# Well after start-up: the warning that no tray came is written 10 s after the menu was built.
wait_for 30 grep -q "No system tray appeared" "$E2E_HOME/morvane.log" || fail "morvane did not warn of the missing tray"

registered() { grep -q '^registered ' "$1"; }
"$watcher" >"$E2E_HOME/watcher1.log" 2>&1 &
first=$!
wait_for 15 registered "$E2E_HOME/watcher1.log" || fail "the icon did not register with the watcher that came later: $(cat "$E2E_HOME/watcher1.log")"

# The panel restarts: a new watcher knows no item until ours registers again.
kill $first
wait $first 2>/dev/null || true
"$watcher" >"$E2E_HOME/watcher2.log" 2>&1 &
wait_for 15 registered "$E2E_HOME/watcher2.log" || fail "the icon did not register with the restarted watcher"

kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
echo "PASS"
