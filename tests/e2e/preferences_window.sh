#!/usr/bin/env bash
# The tray menu's "Preferences…" maps the Preferences window at its size, centred; a click on its
# "Launch at login" toggle is stored in the settings file and writes the autostart entry; closing
# the window and opening it again brings back the one window.
set -euo pipefail
binary=$1
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

# Closed through the window manager, it is only hidden; opened again it is the same window.
activate "$window"
xdotool key alt+F4
wait_for 10 not_shown "Morvane Preferences" || fail "the window did not close"
open_preferences
# (Qt lets the native window go when the window manager closes it, so only the count can tell.)
titled=$(for w in $(xdotool search --class '^morvane$'); do xdotool getwindowname "$w"; done)
[ "$(grep -cx "Morvane Preferences" <<<"$titled")" -eq 1 ] || fail "a second window was made: $titled"

kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
wait $app || fail "morvane exited with status $?"
echo "PASS"
