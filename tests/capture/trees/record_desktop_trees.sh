#!/usr/bin/env bash
# Records what GNOME Contacts and GNOME Calendar show on the accessibility bus into the JSON trees the
# unit tests replay, on an X server, session bus and Evolution Data Server of the script's own:
#   tests/capture/trees/record_desktop_trees.sh BUILD-DIR
# Run it again after an upgrade of either application, look at what changed, and rerun the tests
# (they hold the day of the recording, which they ask the user's events to stand on).
set -euo pipefail
build=$(cd "$1" && pwd)
data=$(cd "$(dirname "$0")" && pwd)
e2e=$data/../../e2e
[ -n "${MORVANE_E2E_OWN_BUS:-}" ] || MORVANE_E2E_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
. "$e2e/e2e_common.sh"
MORVANE_E2E_NO_TRAY=1 start_session
accessibility_on
recorder=$build/tests/e2e/a11y_record
seed=$build/tests/e2e/eds_seed
. "$e2e/gnome_apps.sh"
gnome_settings
version() { dpkg-query -W -f='${Version}' "$1"; }
record() { # <application> <file> <note> [--until TEXT]...
  local application=$1 file=$2 note=$3
  shift 3
  RECORD_WAIT_MS=30000 "$recorder" "$application" "$data/$file" --note "$note" "$@" ||
    fail "$application did not show what $file needs"
}

# The events at 10:00 and 14:00 of today, in this machine's zone.
today=$(date -d 'today 00:00' +%s)
"$seed" contact "Ann Zebrafish" "Okapi Works" "ann@okapi.example" >/dev/null
"$seed" contact "Bert Heron" >/dev/null
review=$("$seed" event "Quarterly Zebra Review" $((today + 10 * 3600)) $((today + 11 * 3600)))
"$seed" event "Walrus Planning" $((today + 14 * 3600)) $((today + 15 * 3600)) >/dev/null
day=$(date -d @$((today + 10 * 3600)) +%x)

contacts_note="GNOME Contacts $(version gnome-contacts) on Debian, two cards (Ann Zebrafish of Okapi Works, ann@okapi.example; Bert Heron)"
gnome-contacts >"$E2E_HOME/contacts.log" 2>&1 &
wait_for 30 shown_titled Contacts || fail "GNOME Contacts did not show its window"
contacts=$(shown_titled Contacts)
activate "$contacts"
record gnome-contacts gnome-contacts-list.json "$contacts_note, no card chosen yet" --until "Bert Heron"
chosen() {
  xdotool mousemove --window "$contacts" 120 161 click 1
  shows_card "Ann Zebrafish"
}
wait_for 20 chosen || fail "GNOME Contacts did not show the card chosen"
record gnome-contacts gnome-contacts-card.json "$contacts_note, showing the card of Ann Zebrafish"

calendar_note="GNOME Calendar $(version gnome-calendar) on Debian, month view, the events Quarterly Zebra Review (10:00-11:00) and Walrus Planning (14:00-15:00) on $day in the calendar Personal"
gnome-calendar >"$E2E_HOME/calendar.log" 2>&1 &
wait_for 30 shown_titled Calendar || fail "GNOME Calendar did not show its window"
activate "$(shown_titled Calendar)"
record gnome-calendar gnome-calendar-nothing-open.json "$calendar_note, no event open" --until "Walrus Planning"
gnome-calendar --uuid "system-calendar:$review" >>"$E2E_HOME/calendar.log" 2>&1
wait_for 20 opened_event "Quarterly Zebra Review" || fail "GNOME Calendar did not open the event"
record gnome-calendar gnome-calendar-popover.json "$calendar_note, the popover of Quarterly Zebra Review open"
edit() {
  xdotool key Down Return
  wait_for 5 editing_event "Quarterly Zebra Review"
}
wait_for 20 edit || fail "the popover's Edit button did not open the editor"
record gnome-calendar gnome-calendar-editor.json "$calendar_note, the editor of Quarterly Zebra Review open"
echo "recorded into $data"
