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
start_app_ready

open_preferences
window=$(shown_window "Morvane Preferences")
size=$(client "$window" Width)x$(client "$window" Height)
[ "$size" = 760x620 ] || fail "the window is $size"
x=$(client "$window" "Absolute upper-left X") y=$(client "$window" "Absolute upper-left Y")
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
key_free l

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
x=$(client "$window" "Absolute upper-left X") y=$(client "$window" "Absolute upper-left Y")
for n in 1 2 3; do add_web_link "00000000-0000-4000-8000-00000000000$n" "E2E $n" "https://example.com/$n"; done
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

quit_app
echo "PASS"
