#!/usr/bin/env bash
# Starts morvane under its own X server with a window manager and a tray, checks that it shows its tray
# icon and makes its library, and quits it from the tray menu; started again, it quits on SIGTERM the
# same way.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
start_app

wait_for 15 tray_window || fail "no tray icon appeared"
# The library is made at start; its tables, indexes and folder mode are the unit tests' business.
library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
wait_for 5 sqlite3 "$library" "SELECT COUNT(*) FROM links" || fail "no library at $library"

# The tray menu opens on a left click (as on a right click); its last item is "Quit Morvane".
before=$(visible_windows)
eval "$(xdotool getwindowgeometry --shell "$(tray_window)")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
menu_open() { [ "$(visible_windows)" -gt "$before" ]; }
wait_for 5 menu_open || fail "the tray menu did not open"
xdotool key Up Return
wait_for 10 app_exited || fail "morvane did not quit from its tray menu"
wait $app || fail "morvane exited with status $?"

start_app
wait_for 15 tray_window || fail "no tray icon appeared on the second start"
kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
wait $app || fail "morvane exited with status $? on SIGTERM"
echo "PASS"
