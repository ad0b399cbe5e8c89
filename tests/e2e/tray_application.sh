#!/usr/bin/env bash
# Without a display morvane says so. Started under its own X server with a window manager and a tray:
# a fresh start shows only its tray icon, makes its library and stores nothing but this machine's
# identifier; its tray menu opens by a click before and after its windows were shown and hidden
# (Preferences closed with ctrl+w); it quits from the tray menu, giving its shortcuts back; started
# again, it quits on SIGTERM the same way.
set -euo pipefail
binary=$1
grabber=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
# Without a display it says what is missing and fails, rather than aborting with a core dump.
status=0
said=$(env -u DISPLAY "$binary" 2>&1) || status=$?
[ $status -eq 1 ] && grep -q "DISPLAY is not set" <<<"$said" || fail "without DISPLAY ($status): $said"
# The library is made at start; its tables, indexes and folder mode are the unit tests' business.
start_app_ready
# A fresh start leaves every setting at its default: only the machine identifier is written.
settings=$XDG_CONFIG_HOME/Morvane/defaults.json
wait_for 5 test -f "$settings" || fail "no settings file at $settings"
uuid='[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}'
tr -d ' \n' <"$settings" | grep -Eqx "\{\"machine\.identity\.id\":\"$uuid\"\}" ||
  fail "the settings hold more than a machine identifier: $(cat "$settings")"
[ "$(visible_windows)" -eq 1 ] || fail "a fresh start mapped a window besides its tray icon"
app_exited && fail "morvane did not stay up"

# The tray menu opens on a left click (as on a right click), beside the icon: a second click on the
# icon closes it rather than choosing its first item. It still opens after the quick panel or the
# graph was shown and hidden (by its shortcut or by Escape). Its last item is "Quit Morvane".
eval "$(xdotool getwindowgeometry --shell "$(tray_window)")"
icon_x=$((X + WIDTH / 2)) icon_y=$((Y + HEIGHT / 2))
shown() { [ "$(visible_windows)" -eq "$1" ]; }
click_icon() { xdotool mousemove $icon_x $icon_y click 1; }
open_menu() {
  wait_for 5 shown 1 || fail "$1: a window of ours is still mapped"
  click_icon
  wait_for 5 shown 2 || fail "the tray menu did not open $1"
}
open_menu "on a first click"
click_icon
wait_for 5 shown 1 || fail "a second click on the icon did not close the tray menu"
sleep 0.5
shown 1 || fail "a second click on the icon opened a window"
for hide in ctrl+super+l Escape; do
  xdotool key ctrl+super+l
  wait_for 5 shown 2 || fail "the quick panel did not appear"
  xdotool key $hide
  open_menu "after the quick panel was hidden by $hide"
  xdotool key Escape
done
xdotool key ctrl+super+g
wait_for 10 shown 2 || fail "the graph did not appear"
xdotool key ctrl+super+g
open_menu "after the graph was shown and hidden"
# Preferences closes by keyboard too: without a window manager it has no close button.
xdotool key Down Down Down Return
wait_for 10 shown 2 || fail "Preferences… did not open the Preferences window"
xdotool key ctrl+w
open_menu "after Preferences was closed with ctrl+w"
xdotool key Up Return
wait_for 10 app_exited || fail "morvane did not quit from its tray menu"
wait $app || fail "morvane exited with status $?"
# Both shortcuts are free again.
key_free l
key_free g

start_app_ready
quit_app
echo "PASS"
