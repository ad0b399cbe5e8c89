#!/usr/bin/env bash
# The accessibility bus switched off, as a desktop without a screen reader starts: morvane asks at
# start, and "Not Now" leaves the bus off; Preferences › About › Permissions then shows the
# Accessibility row as not enabled; the bus switched on and off again elsewhere (as a screen reader or
# the desktop's settings do) turns the row with it; its "Turn On…" button asks again; "Turn On" turns
# the bus on, and the row turns to enabled without the button. Read from the screen: the status's ink
# (orange, then green) and whether a click where the button was asks anything. Then the panel over
# Thunar, which reads it over the bus, follows the switch turned elsewhere both ways: the bus is off,
# then Thunar is read again. The panel is read over the bus, as a screen reader reads it.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
# Thunar's toolkit mounts the desktop's document portal in the runtime folder, which the home's removal
# must not meet.
trap 'fusermount -uz "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT
switch() { # <true|false>
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled "<$1>" >/dev/null ||
    fail "the accessibility bus cannot be switched"
}
bus_on() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Get org.a11y.Status IsEnabled | grep -q true
}
switch false
bus_on && fail "the accessibility bus stayed on"

question() { panel; } # ours, titled "Morvane", bigger than the tray icon
no_question() { ! question; }
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 start_app_ready
wait_for 15 question || fail "morvane did not ask for the accessibility bus at start"
activate "$(question)"
xdotool key Tab space # "Not Now"
wait_for 10 no_question || fail "\"Not Now\" did not close the question"
! wait_for 1 bus_on || fail "\"Not Now\" turned the accessibility bus on"

# About is the sidebar's sixth entry; the Permissions card ends the page, the Accessibility row last.
open_preferences
window=$(shown_window "Morvane Preferences")
x=$(client "$window" "Absolute upper-left X") y=$(client "$window" "Absolute upper-left Y")
xdotool mousemove $((x + 78)) $((y + 257)) click 1
to_the_end() { xdotool mousemove $((x + 500)) $((y + 400)) click --repeat 40 5; }
to_the_end
status_ink() { # <orange|green>: pixels of that ink in the row's status text
  import -window root -crop "120x16+$((x + 325))+$((y + 533))" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk -v ink="$1" '(ink == "orange" && $1 > $2 + 40 && $1 > $3 + 80) ||
                     (ink == "green" && $2 > $1 + 40 && $2 > $3 + 20) { n++ } END { exit !(n >= 10) }'
}
wait_for 10 status_ink orange || fail "the Accessibility row does not say it is off"
# Switched elsewhere, the row follows within moments.
switch true
wait_for 3 status_ink green || fail "the bus switched on elsewhere: the Accessibility row still says it is off"
switch false
to_the_end # the row's button is back, and the page longer
wait_for 3 status_ink orange || fail "the bus switched off elsewhere: the Accessibility row still says it is on"
button=($((x + 664)) $((y + 541)))
xdotool mousemove "${button[@]}" click 1
wait_for 10 question || fail "\"Turn On…\" did not ask"
activate "$(question)"
xdotool key Return # "Turn On"
wait_for 10 bus_on || fail "\"Turn On\" did not turn the accessibility bus on"
wait_for 10 status_ink green || fail "the Accessibility row does not say it is on"
# The button is gone: a click where it was asks nothing.
xdotool mousemove "${button[@]}" click 1
! wait_for 2 question || fail "the Accessibility row still offers to turn the bus on"

# Thunar publishes its windows when the bus is on at its start, and stays on the bus when it is
# switched off later. The panel stays open over it while the bus is switched elsewhere.
texts=$(dirname "$0")/accessible_texts.py
message_is() { "$texts" texts morvane | grep -xF -- "$1" >/dev/null; } # all read: no broken pipe
says() { "$texts" texts morvane | paste -sd'|' -; }
docs=$E2E_HOME/Docs
mkdir -p "$docs"
thunar "$docs" >"$E2E_HOME/thunar.log" 2>&1 &
wait_for 30 window_titled "Docs - Thunar" || fail "Thunar did not show the folder"
activate "$(window_titled "Docs - Thunar")"
show_panel
nothing_selected="Select a file in Thunar to capture it."
bus_off="Morvane reads this window over the accessibility bus, which is off: turn it on in Preferences › About › Permissions."
wait_for 15 message_is "$nothing_selected" || fail "over Thunar the panel says: $(says)"
switch false
wait_for 3 message_is "$bus_off" || fail "the bus switched off elsewhere: over Thunar the panel says: $(says)"
switch true
wait_for 3 message_is "$nothing_selected" ||
  fail "the bus switched on again elsewhere: over Thunar the panel says: $(says)"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not hide the panel"
thunar -q >/dev/null 2>&1 || true
quit_app
echo "PASS"
