#!/usr/bin/env bash
# Without a tray: 10 s after the start Morvane says so once, in a window of its own besides the log
# line. Its "Don't show again" box (Alt+D) is kept in this machine's settings, and the next start shows
# no window when the time comes.
set -euo pipefail
binary=$1
export MORVANE_E2E_NO_TRAY=1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
settings=$XDG_CONFIG_HOME/Morvane/defaults.json
notice() { shown_window Morvane; }
warned() { grep -q "No system tray appeared" "$E2E_HOME/morvane.log"; }

start_app
wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"
notice && fail "the window came before the tray had its time"
wait_for 20 notice || fail "no window said that there is no tray"
warned || fail "the missing tray was not logged"
w=$(notice)
activate "$w"
xdotool key alt+d
wait_for 5 grep -q '"linux.trayMissingNoticeDismissed": *true' "$settings" ||
  fail "Don't show again was not stored: $(cat "$settings")"
xdotool key Return
wait_for 5 bash -c '! xdotool search --onlyvisible --class "^morvane$" >/dev/null' ||
  fail "the window did not close"
quit_app

start_app
wait_for 20 warned || fail "the second start did not notice the missing tray"
! notice || fail "the window came back after Don't show again"
quit_app
echo "no tray: passed"
