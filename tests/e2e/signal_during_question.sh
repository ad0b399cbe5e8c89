#!/usr/bin/env bash
# A termination signal while the start-up question about the accessibility bus is open (the bus is
# there but switched off) quits at once with status 0, closing the library cleanly: with a tray, and
# without one (where the tray-missing window may be up as well). The question is modal, so the signal
# has to end its loop as well as the main one. Runs on a private session bus.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
dbus-update-activation-environment --all 2>/dev/null || fail "the session bus refused the environment"
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<false>' >/dev/null ||
  fail "the accessibility bus cannot be switched off"

# The question is the one window titled Morvane that is bigger than the tray icon.
question() { shown_window Morvane; }

# term_during_question <case>: starts morvane, waits for its question and sends SIGTERM.
term_during_question() {
  start_app
  wait_for 20 question || fail "$1: the start-up question did not appear"
  wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "$1: no library at $library"
  kill -TERM "$app"
  wait_for 10 app_exited || fail "$1: morvane did not quit on SIGTERM with the question open"
  local status=0
  wait "$app" || status=$?
  [ $status -eq 0 ] || fail "$1: morvane exited with status $status on SIGTERM"
  grep -q "Quitting on signal 15" "$E2E_HOME/morvane.log" || fail "$1: the signal was not logged"
  # Closed cleanly: the write-ahead log was checkpointed and removed, and the file is whole.
  [ ! -s "$library-wal" ] || fail "$1: the library's write-ahead log was left behind"
  [ "$(sql "PRAGMA integrity_check")" = ok ] || fail "$1: the library is damaged"
  ! question || fail "$1: the question is still on screen"
}

term_during_question "with a tray"

# Without a tray: the tray host of this display goes.
for pid in $(pgrep -x trayer); do
  tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "DISPLAY=$DISPLAY" && kill "$pid"
done
no_tray() { ! xdotool search --class trayer >/dev/null 2>&1; }
wait_for 10 no_tray || fail "the tray did not go"
term_during_question "without a tray"
echo "signal during the start-up question: passed"
