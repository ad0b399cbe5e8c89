#!/usr/bin/env bash
# Starts morvane under its own X server with a window manager and a tray, checks that a fresh start
# shows only its tray icon, makes its library and stores nothing but this machine's identifier, and
# quits it from the tray menu, giving its shortcuts back; started again, it quits on SIGTERM the same
# way.
set -euo pipefail
binary=$1
grabber=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
start_app

wait_for 15 tray_window || fail "no tray icon appeared"
# The library is made at start; its tables, indexes and folder mode are the unit tests' business.
library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
wait_for 5 sqlite3 "$library" "SELECT COUNT(*) FROM links" || fail "no library at $library"
# A fresh start leaves every setting at its default: only the machine identifier is written.
settings=$XDG_CONFIG_HOME/Morvane/defaults.json
wait_for 5 test -f "$settings" || fail "no settings file at $settings"
uuid='[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}'
tr -d ' \n' <"$settings" | grep -Eqx "\{\"machine\.identity\.id\":\"$uuid\"\}" ||
  fail "the settings hold more than a machine identifier: $(cat "$settings")"
[ "$(visible_windows)" -eq 1 ] || fail "a fresh start mapped a window besides its tray icon"
app_exited && fail "morvane did not stay up"

# The tray menu opens on a left click (as on a right click); its last item is "Quit Morvane".
before=$(visible_windows)
eval "$(xdotool getwindowgeometry --shell "$(tray_window)")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
menu_open() { [ "$(visible_windows)" -gt "$before" ]; }
wait_for 5 menu_open || fail "the tray menu did not open"
xdotool key Up Return
wait_for 10 app_exited || fail "morvane did not quit from its tray menu"
wait $app || fail "morvane exited with status $?"
# Both shortcuts are free again, under every lock state (Control | Mod4, with Lock and Mod2).
for key in l g; do
  "$grabber" $key 0x44 0x46 0x54 0x56 >"$E2E_HOME/grab.out" 2>&1 &
  wait_for 10 grep -qx grabbed "$E2E_HOME/grab.out" || fail "ctrl+super+$key is still held: $(cat "$E2E_HOME/grab.out")"
  kill $!
  wait $! || true
done

start_app
wait_for 15 tray_window || fail "no tray icon appeared on the second start"
kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
wait $app || fail "morvane exited with status $? on SIGTERM"
echo "PASS"
