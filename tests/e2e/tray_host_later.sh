#!/usr/bin/env bash
# Starts morvane before any tray host exists, as under autostart: the icon appears once a tray starts.
set -euo pipefail
binary=$1
export MORVANE_E2E_NO_TRAY=1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
start_app
# The library is made before the tray icon is asked for: once it exists, the icon found no host.
wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "morvane did not start"
tray_window && fail "a tray icon window exists without a tray host"
start_tray
wait_for 15 tray_window || fail "no tray icon appeared after the tray host started"
quit_app
echo "PASS"
