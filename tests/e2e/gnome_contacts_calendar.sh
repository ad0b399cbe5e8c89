#!/usr/bin/env bash
# GNOME Contacts and GNOME Calendar in front, over Evolution Data Server on the script's own session
# bus with the accessibility bus on: the card GNOME Contacts shows and the event GNOME Calendar has
# open are what the quick panel captures; Return saves each, the tray's indicator comes on while the
# application shows it again, goes off for another item, and the saved link brings the application
# back to it. A card chosen just before the panel opens is the one captured, never the one before.
set -euo pipefail
binary=$1
seed=$2
recorder=$3
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
accessibility_on
. "$(dirname "$0")/gnome_apps.sh"
gnome_settings

"$seed" contact "Ann Zebrafish" "Okapi Works" "ann@okapi.example" >/dev/null || fail "could not write the card"
"$seed" contact "Bert Heron" >/dev/null || fail "could not write the card"
"$seed" contact "Cleo Ibis" >/dev/null || fail "could not write the card"
now=$(date +%s)
"$seed" event "Quarterly Zebra Review" $((now + 3600)) $((now + 7200)) >/dev/null || fail "could not write the event"
walrus=$("$seed" event "Walrus Planning" $((now + 9000)) $((now + 9600))) || fail "could not write the event"
start_app_ready

saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE type = '$1' AND title = '$2'")" = 1 ]; }
contact_saved() { saved contact "Ann Zebrafish"; }
event_saved() { saved calendar "Walrus Planning"; }
hide_panel() {
  if panel >/dev/null; then
    xdotool key Escape
    wait_for 10 no_panel || fail "Escape did not hide the panel"
  fi
}
# open_saved <typed>: the first row for what is typed is the saved link; Return opens it.
open_saved() {
  show_panel
  xdotool type --delay 20 "$1"
  xdotool key Return
  wait_for 10 no_panel || fail "Return did not open the saved link for $1"
}

# GNOME Contacts: a card chosen in its list (rows stand 62 pixels apart below the search field).
gnome-contacts >"$E2E_HOME/contacts.log" 2>&1 &
wait_for 30 shown_titled Contacts || fail "GNOME Contacts did not show its window"
contacts=$(shown_titled Contacts)
activate "$contacts"
# choose <row> <name>: clicks the row until the card shows (the list fills in after the window maps).
choose() {
  shown() {
    xdotool mousemove --window "$contacts" 120 $((161 + 62 * $1)) click 1
    shows_card "$2"
  }
  wait_for 20 shown "$1" "$2" || fail "GNOME Contacts did not show the card of $2"
}
choose 0 "Ann Zebrafish"
save_capture contact_saved "the card GNOME Contacts shows"
[ "$(sql "SELECT source_app FROM links WHERE type = 'contact'")" = Contacts ] || fail "the card was not saved from Contacts"
activate "$contacts"
wait_for 15 indicator_on || fail "the indicator did not come on for the saved card"
# The user chooses Cleo's row and opens the panel at once, before GNOME Contacts shows her card: the
# panel never takes the card read before for the one chosen now (it reads the window again), and
# Return, waiting for that reading, saves Cleo's card and does not open Ann's.
ann_opened=$(sql "SELECT last_opened_at FROM links WHERE title = 'Ann Zebrafish'")
cleo_saved() { saved contact "Cleo Ibis"; }
xdotool mousemove --window "$contacts" 120 $((161 + 62 * 2)) click 1
show_panel
xdotool key Return
wait_for 10 cleo_saved || fail "Return did not save the card chosen just before the panel opened: $(sql "SELECT title FROM links")"
[ "$(sql "SELECT last_opened_at FROM links WHERE title = 'Ann Zebrafish'")" = "$ann_opened" ] ||
  fail "Return opened the card shown before"
hide_panel
activate "$contacts"
choose 1 "Bert Heron"
wait_for 15 indicator_off || fail "the indicator stayed on for a card not saved"
# Opening the link searches GNOME Contacts for the card's name in a new window: the card is the one
# row it lists, a click away.
open_saved "Zebrafish"
new_window() {
  local w
  w=$(xdotool getactivewindow 2>/dev/null) && [ "$w" != "$contacts" ] &&
    [ "$(xdotool getwindowname "$w")" = Contacts ] && contacts=$w
}
wait_for 20 new_window || fail "opening the saved card did not search GNOME Contacts for it"
choose 0 "Ann Zebrafish"
wait_for 15 indicator_on || fail "the indicator did not come on again for the saved card"

# GNOME Calendar: an event opened from its popover into its editor. The event is the second of the
# events around now: the list the panel offers with no event open would save the first one. (While the
# popover itself is open, GTK holds the keyboard, so no global shortcut reaches the panel; the
# indicator still shows what the popover shows.)
gnome-calendar >"$E2E_HOME/calendar.log" 2>&1 &
wait_for 30 shown_titled Calendar || fail "GNOME Calendar did not show its window"
calendar=$(shown_titled Calendar)
activate "$calendar"
gnome-calendar --uuid "system-calendar:$walrus" >>"$E2E_HOME/calendar.log" 2>&1
wait_for 20 opened_event "Walrus Planning" || fail "GNOME Calendar did not open the event's popover"
edit() {
  xdotool key Down Return
  wait_for 5 editing_event "Walrus Planning"
}
wait_for 20 edit || fail "the popover's Edit button did not open the editor"
# Until a poll has read the editor, the panel offers the events around now, whose first row Return
# would save: Return is pressed once the panel offers the one event.
offers_the_opened_event() {
  "$(dirname "$0")/accessible_texts.py" texts morvane |
    grep -xF "Press Enter to add this Calendar event. If other links exist, you can link it next, or type to search." >/dev/null
}
show_panel
wait_for 15 offers_the_opened_event || fail "the panel did not come to offer the event open in the editor"
save_capture event_saved "the event open in GNOME Calendar's editor"
case $(sql "SELECT url FROM links WHERE type = 'calendar'") in
  morvane-calendar://event\?id=system-calendar/*"&externalID=$walrus&"*) ;;
  *) fail "the event's link does not name it: $(sql "SELECT url FROM links WHERE type = 'calendar'")" ;;
esac
wait_for 15 indicator_on || fail "the indicator did not come on for the saved event"
xdotool key Escape
wait_for 10 eval '! editing_event "Walrus Planning"' || fail "Escape did not close the editor"
# Opening the link opens the event's popover in GNOME Calendar again, and the indicator comes on.
open_saved "Walrus"
wait_for 20 opened_event "Walrus Planning" || fail "opening the saved event did not open it in GNOME Calendar"
wait_for 15 indicator_on || fail "the indicator did not come on again for the saved event"
[ "$(sql "SELECT COUNT(*) FROM links")" = 3 ] || fail "more was saved: $(sql "SELECT title FROM links")"
echo "PASS"
