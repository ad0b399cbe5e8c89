#!/usr/bin/env bash
# The tray menu's "Preferences…" maps the Preferences window at its size, centred; a click on its
# "Launch at login" toggle is stored in the settings file and writes the autostart entry; a shortcut
# recorded on the Keyboard page is stored and registered in place of the old one; closing the window
# and opening it again brings back the one window; the erase confirmation of the Advanced page
# answers Return and Escape with Cancel and erases only through its own button's key.
set -euo pipefail
binary=$1
grabber=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
start_app
wait_for 15 tray_window || fail "no tray icon appeared"

# Our mapped window with this exact title.
shown_window() {
  local w
  for w in $(xdotool search --onlyvisible --class '^morvane$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
  done
  return 1
}
not_shown() { ! shown_window "$1"; }
open_preferences() {
  local before
  before=$(visible_windows)
  eval "$(xdotool getwindowgeometry --shell "$(tray_window)")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  menu_open() { [ "$(visible_windows)" -gt "$before" ]; }
  wait_for 5 menu_open || fail "the tray menu did not open"
  # From the bottom: Quit Morvane, Check for Updates…, Preferences….
  xdotool key --delay 150 Up Up Up Return
  wait_for 10 shown_window "Morvane Preferences" || fail "Preferences… did not show the window"
}

open_preferences
window=$(shown_window "Morvane Preferences")
client() { xwininfo -id "$window" | sed -n "s/^ *$1: *//p"; }
[ "$(client Width)x$(client Height)" = 760x620 ] || fail "the window is $(client Width)x$(client Height)"
x=$(client "Absolute upper-left X") y=$(client "Absolute upper-left Y")
# Centred on the 1024×768 screen, give or take the window manager's frame.
[ $((x + 380 - 512)) -ge -20 ] && [ $((x + 380 - 512)) -le 20 ] || fail "not centred horizontally: x=$x"
[ $((y + 310 - 384)) -ge -40 ] && [ $((y + 310 - 384)) -le 40 ] || fail "not centred vertically: y=$y"

# "Launch at login" is the General page's first control, on the left of its Startup card.
settings=$XDG_CONFIG_HOME/Morvane/defaults.json
xdotool mousemove $((x + 260)) $((y + 140)) click 1
stored() { tr -d ' \n' <"$settings" | grep -q '"preferences.launchAtLogin":true'; }
wait_for 10 stored || fail "the toggle was not stored: $(cat "$settings")"
wait_for 5 test -f "$XDG_CONFIG_HOME/autostart/morvane.desktop" || fail "no autostart entry was written"

# The Keyboard page (second in the sidebar) records a new shortcut for the quick panel in its first
# field: the key press reaches the field from the real keyboard, the new shortcut is stored, and the
# old one is given back to other applications.
xdotool mousemove $((x + 76)) $((y + 105)) click 1
xdotool mousemove $((x + 620)) $((y + 143)) click 1
xdotool key ctrl+super+k
recorded=$(printf '{"keyCode":40,"carbonModifiers":4352}' | base64 -w0)
stored_key() { tr -d ' \n' <"$settings" | grep -qF "\"preferences.quickPanelHotkey\":{\"\$data\":\"$recorded\"}"; }
wait_for 10 stored_key || fail "ctrl+super+k was not recorded: $(cat "$settings")"
"$grabber" l 0x44 0x46 0x54 0x56 >"$E2E_HOME/grab.out" 2>&1 &
wait_for 10 grep -qx grabbed "$E2E_HOME/grab.out" || fail "ctrl+super+l is still held: $(cat "$E2E_HOME/grab.out")"
kill $!
wait $! || true

# Closed through the window manager, it is only hidden; opened again it is the one window.
activate "$window"
xdotool key alt+F4
wait_for 10 not_shown "Morvane Preferences" || fail "the window did not close"
open_preferences
# (Qt lets the native window go when the window manager closes it, so only the count can tell.)
titled=$(for w in $(xdotool search --class '^morvane$'); do xdotool getwindowname "$w"; done)
[ "$(grep -cx "Morvane Preferences" <<<"$titled")" -eq 1 ] || fail "a second window was made: $titled"

# The recorded shortcut is registered.
xdotool key ctrl+super+k
wait_for 10 panel || fail "the recorded shortcut did not show the quick panel"
xdotool key ctrl+super+k
wait_for 10 no_panel || fail "the recorded shortcut did not hide the quick panel"

# Erase All Morvane Data… on the Advanced page (the sidebar's last section) asks first.
window=$(shown_window "Morvane Preferences")
x=$(client "Absolute upper-left X") y=$(client "Absolute upper-left Y")
sql() { sqlite3 "$XDG_DATA_HOME/Morvane/Morvane.sqlite" "$1"; }
for n in 1 2 3; do
  sql "INSERT INTO links (id, title, url, type, created_at, updated_at) VALUES ('00000000-0000-4000-8000-00000000000$n',
       'E2E $n', 'https://example.com/$n', 'web', '2024-05-01T09:00:00.000Z', '2024-05-01T09:00:00.000Z')"
done
links() { [ "$(sql "SELECT COUNT(*) FROM links")" = "$1" ]; }
alert_box() { panel; } # ours, titled "Morvane", bigger than the tray icon
no_alert() { ! alert_box; }
ask_to_erase() {
  activate "$window"
  xdotool mousemove $((x + 78)) $((y + 295)) click 1 mousemove $((x + 315)) $((y + 398)) click 1
  wait_for 10 alert_box || fail "no erase confirmation"
  activate "$(alert_box)"
}
# Return and Escape cancel; the next question finds the library whole and the button enabled.
for key in Return Escape; do
  ask_to_erase
  xdotool key $key
  wait_for 10 no_alert || fail "$key did not close the confirmation"
done
ask_to_erase
links 3 || fail "the library changed after Return or Escape: $(sql "SELECT COUNT(*) FROM links") links"
# The act's own key: Alt and the underlined E of "Erase Everything".
xdotool key alt+e
wait_for 10 links 0 || fail "Erase Everything did not erase"

kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
wait $app || fail "morvane exited with status $?"
echo "PASS"
