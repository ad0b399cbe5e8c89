#!/usr/bin/env bash
# Calendar events and contacts from Evolution Data Server on a private session bus: an event and a
# card written by another program show up as rows after the links when part of their names is typed
# in the quick panel; Return saves each as a link, and the saved links open in GNOME Calendar at the
# event and in GNOME Contacts at the card (stand-ins that write down how they were started). Another
# calendar's events are offered too, but none of a calendar switched off in the registry (until it is
# switched on) or of one below an account switched off; an event written in a time zone the calendar keeps for itself (no
# time zone database knows it) is saved at its own time, and so are the occurrences of a weekly event in
# a zone with summer time (one excluded, one detached), each with its occurrence's identifier. With
# GNOME Calendar in front the panel offers the events around now, and an event and a card written
# while the application runs are offered as well. A calendar whose backend is not installed (as one
# left when its package was removed) hides none of this: Preferences names it, with the service's
# words, under "Full access". On a bus without the service's files, typing finds no such rows and Return
# saves nothing.
set -euo pipefail
binary=$1
seed=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
command -v dbus-daemon >/dev/null || fail "dbus-daemon is not installed"
[ -x /usr/libexec/evolution-calendar-factory ] || fail "evolution-data-server is not installed"

# start_bus <dbus-daemon options...>: a session bus of this test's own; the service it activates
# inherits this isolated home.
start_bus() {
  local address=$E2E_HOME/bus-address
  rm -f "$address"
  dbus-daemon "$@" --nofork --print-address=3 3>"$address" 2>>"$E2E_HOME/dbus.log" &
  bus=$!
  wait_for 10 test -s "$address" || fail "the session bus did not start"
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$address")
  export DBUS_SESSION_BUS_ADDRESS
}
stop() { # <pid>: ends it and waits until it is gone
  kill -TERM "$1" 2>/dev/null || true
  wait_for 10 eval "! kill -0 $1" || fail "process $1 did not end"
}

# Stand-ins for the desktop's calendar and contacts applications.
opened=$E2E_HOME/opened.txt
touch "$opened"
mkdir -p "$E2E_HOME/bin" "$XDG_DATA_HOME/applications"
for program in gnome-calendar gnome-contacts; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$program" "$opened" >"$E2E_HOME/bin/$program"
  chmod +x "$E2E_HOME/bin/$program"
done
for id in org.gnome.Calendar org.gnome.Contacts; do
  printf '[Desktop Entry]\nType=Application\nName=%s\nExec=true\nNoDisplay=true\n' "$id" \
    >"$XDG_DATA_HOME/applications/$id.desktop"
done
export PATH=$E2E_HOME/bin:$PATH

hide_panel() {
  if panel >/dev/null; then
    xdotool key Escape
    wait_for 10 no_panel || fail "Escape did not unmap the panel"
  fi
}
# type_and_return <text>: Return acts on the list of what was typed, once the search answered.
type_and_return() {
  show_panel
  xdotool type --delay 20 "$1"
  xdotool key Return
}
saved_link() { sql "SELECT url FROM links WHERE type = '$1' AND title = '$2'"; }

start_bus --session
accessibility_on
now=$(date +%s)
uid=$("$seed" event "Quarterly Zebra Review" $((now + 3600)) $((now + 7200))) || fail "could not write the event"
"$seed" event "Walrus Planning" $((now + 9000)) $((now + 9600)) >/dev/null || fail "could not write the event"
"$seed" event "Heron Sync" $((now - 86400 * 30)) $((now - 86400 * 30 + 600)) >/dev/null || fail "could not write the event"
card=$("$seed" contact "Ann Zebrafish" "Okapi Works") || fail "could not write the card"
"$seed" calendar extra-calendar "Extra" on || fail "could not make a calendar"
"$seed" calendar off-calendar "Switched Off" off || fail "could not make a calendar"
"$seed" group off-account "Account Off" off || fail "could not make an account"
"$seed" calendar account-calendar "Account Calendar" on off-account || fail "could not make a calendar"
# Its backend was never installed: opening it fails.
"$seed" foreign-calendar exchange-calendar "Work Exchange" ews || fail "could not make a calendar"
for written in "Puffin Outing extra-calendar" "Osprey Watch off-calendar" "Plover Count account-calendar"; do
  "$seed" event "${written% *}" $((now + 40000)) $((now + 41000)) "${written##* }" >/dev/null ||
    fail "could not write the event"
done
zoned_start=$(((now / 60 + 600) * 60))
"$seed" zoned-event "Tern Survey" $zoned_start $((zoned_start + 1800)) >/dev/null || fail "could not write the event"
# A weekly event in a zone with summer time, read through the service: 35 weeks from 40 weeks ago, so
# that its first and its last weeks are on either side of a change of the clocks; the last week is
# excluded and the third-last detached (moved two hours later, and retitled). The occurrence nearest to
# now is then the second-last, whose identifier names its original start as the calendar writes it.
berlin() { TZ=Europe/Berlin date "$@"; }
week_day() { berlin -d "$(berlin -d "@$now" +%F) -$((7 * (40 - $1))) days" +%F; } # <week of the series>
first_day=$(week_day 0)
nearest_day=$(week_day 33)
detached_day=$(week_day 32)
[ "$(berlin -d "$first_day 09:30" +%z)" != "$(berlin -d "$nearest_day 09:30" +%z)" ] ||
  fail "the series does not cross a change of the clocks ($first_day, $nearest_day)"
weekly=$("$seed" weekly "Gannet Drill" Europe/Berlin "${first_day//-/}" 35 "$(week_day 34 | tr -d -)" \
  "${detached_day//-/}") || fail "could not write the repeating event"

start_app_ready

type_and_return "Zebra Review"
wait_for 10 eval '[ -n "$(saved_link calendar "Quarterly Zebra Review")" ]' ||
  fail "Return did not save the event: $(sql "SELECT title, url FROM links")"
event_url=$(saved_link calendar "Quarterly Zebra Review")
case $event_url in
  morvane-calendar://event\?id=system-calendar/*"&externalID=$uid&"*) ;;
  *) fail "the event's link does not name it in its calendar: $event_url" ;;
esac
hide_panel

type_and_return "Zebrafish"
wait_for 10 eval '[ -n "$(saved_link contact "Ann Zebrafish")" ]' ||
  fail "Return did not save the card: $(sql "SELECT title, url FROM links")"
contact_url=$(saved_link contact "Ann Zebrafish")
case $contact_url in
  "morvane-contact://contact?id=system-address-book/$card&name=Ann%20Zebrafish&organization=Okapi%20Works") ;;
  *) fail "the card's link is $contact_url" ;;
esac
hide_panel

# The saved links now come first, and Return opens them in the applications that show them.
type_and_return "Zebra Review"
wait_for 10 grep -qx "gnome-calendar --uuid system-calendar:$uid" "$opened" ||
  fail "the event did not open in GNOME Calendar (opened: $(cat "$opened"))"
hide_panel
type_and_return "Zebrafish"
wait_for 10 grep -qx "gnome-contacts --search Ann Zebrafish" "$opened" ||
  fail "the card did not open in GNOME Contacts (opened: $(cat "$opened"))"
hide_panel
[ "$(sql "SELECT COUNT(*) FROM links")" = 2 ] || fail "opening saved more links: $(sql "SELECT title FROM links")"

# Only the calendars the registry has enabled, through every source above them, are read; the event
# in the calendar's own zone is at its time (the link's start, in seconds since 1970).
type_and_return "Puffin Outing"
wait_for 10 eval '[ -n "$(saved_link calendar "Puffin Outing")" ]' ||
  fail "an event of another calendar was not offered: $(sql "SELECT title FROM links")"
hide_panel
for hidden in "Osprey Watch" "Plover Count"; do
  type_and_return "$hidden"
  hide_panel
done
type_and_return "Tern Survey"
wait_for 10 eval '[ -n "$(saved_link calendar "Tern Survey")" ]' ||
  fail "the event in the calendar's own zone was not offered: $(sql "SELECT title FROM links")"
hide_panel
case $(saved_link calendar "Tern Survey") in
  *"&start=$zoned_start.0&"*) ;;
  *) fail "the event in the calendar's own zone does not start at $zoned_start: $(saved_link calendar "Tern Survey")" ;;
esac

# The repeating event: the occurrence nearest to now is the second-last (the last is excluded), at 09:30
# in Berlin whatever the clocks did since the first; the detached one is at its own time, with the
# identifier of the occurrence it replaces.
type_and_return "Gannet Drill"
wait_for 10 eval '[ -n "$(saved_link calendar "Gannet Drill")" ]' ||
  fail "the repeating event was not offered: $(sql "SELECT title FROM links")"
hide_panel
case $(saved_link calendar "Gannet Drill") in
  "morvane-calendar://event?id=system-calendar/$weekly/${nearest_day//-/}T093000&externalID=$weekly&"*"&start=$(berlin -d "$nearest_day 09:30" +%s).0&"*) ;;
  *) fail "the nearest occurrence is not the second-last at 09:30 in Berlin ($nearest_day): $(saved_link calendar "Gannet Drill")" ;;
esac
type_and_return "Drill Moved"
wait_for 10 eval '[ -n "$(saved_link calendar "Gannet Drill Moved")" ]' ||
  fail "the detached occurrence was not offered: $(sql "SELECT title FROM links")"
hide_panel
case $(saved_link calendar "Gannet Drill Moved") in
  "morvane-calendar://event?id=system-calendar/$weekly/${detached_day//-/}T093000&externalID=$weekly&"*"&start=$(berlin -d "$detached_day 11:30" +%s).0&"*) ;;
  *) fail "the detached occurrence is not at 11:30 in Berlin on $detached_day: $(saved_link calendar "Gannet Drill Moved")" ;;
esac

# An event written while Morvane runs is offered too, once the service reported it.
"$seed" event "Ibis Retro" $((now + 20000)) $((now + 21000)) >/dev/null || fail "could not write the event"
ibis_saved() {
  type_and_return "Ibis Retro"
  hide_panel
  [ -n "$(saved_link calendar "Ibis Retro")" ]
}
wait_for 20 ibis_saved || fail "an event written later was not offered: $(sql "SELECT title FROM links")"
# So is a card.
"$seed" contact "Bo Pelican" "Kestrel Co" >/dev/null || fail "could not write the card"
pelican_saved() {
  type_and_return "Pelican"
  hide_panel
  [ -n "$(saved_link contact "Bo Pelican")" ]
}
wait_for 20 pelican_saved || fail "a card written later was not offered: $(sql "SELECT title FROM links")"
# A calendar switched on while Morvane runs offers its events once the registry reported it.
"$seed" switch off-calendar on || fail "could not switch the calendar on"
osprey_saved() {
  type_and_return "Osprey Watch"
  hide_panel
  [ -n "$(saved_link calendar "Osprey Watch")" ]
}
wait_for 20 osprey_saved || fail "a calendar switched on later was not read: $(sql "SELECT title FROM links")"

# The calendar that cannot be read: named in Preferences, with the service's message and without the
# bus's name for the error, under the calendars' status, which is full access; the log has the whole
# error, once.
texts=$(dirname "$0")/accessible_texts.py
named_failing() {
  "$texts" texts morvane >"$E2E_HOME/texts.txt"
  grep -qx "Full access" "$E2E_HOME/texts.txt" &&
    grep -q "^“Work Exchange” cannot be read: .*exchange-calendar" "$E2E_HOME/texts.txt" &&
    ! grep -q "GDBus" "$E2E_HOME/texts.txt"
}
open_preferences
wait_for 15 named_failing || fail "Preferences does not name the failing calendar: $(paste -sd'|' "$E2E_HOME/texts.txt")"
activate "$(shown_window "Morvane Preferences")"
xdotool key alt+F4
wait_for 10 not_shown "Morvane Preferences" || fail "the Preferences window did not close"
[ "$(grep -c "The calendar “Work Exchange” (exchange-calendar) cannot be read: OpenCalendar: GDBus.Error:" \
  "$E2E_HOME/morvane.log")" = 1 ] || fail "the log does not have the calendar's failure once: $(grep -i exchange "$E2E_HOME/morvane.log")"
! grep -q "Calendars are not available" "$E2E_HOME/morvane.log" || fail "the calendars were said not available"

# GNOME Calendar in front: the events around now, earliest first; the saved one is its link.
open "Calendar stand-in" xterm -class gnome-calendar -T "Calendar stand-in"
show_panel
wait_for 10 copies "$event_url" || fail "the saved event is not the first event around now"
xdotool key Down Return
wait_for 10 eval '[ -n "$(saved_link calendar "Walrus Planning")" ]' ||
  fail "Return did not save the next event around now: $(sql "SELECT title FROM links")"
hide_panel

# Without the service: the same library, a bus that cannot start it.
stop "$app"
stop "$bus"
mkdir -p "$E2E_HOME/no-services"
cat >"$E2E_HOME/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=$E2E_HOME</listen>
  <servicedir>$E2E_HOME/no-services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
start_bus --config-file="$E2E_HOME/bus.conf"
start_app
wait_for 15 tray_window || fail "no tray icon appeared without the service"
type_and_return "Heron"
hide_panel
# Opening a saved link records the time on the store's thread, after any save Return had started.
before=$(sql "SELECT last_opened_at FROM links WHERE type = 'contact'")
type_and_return "Zebrafish"
wait_for 10 eval '[ "$(sql "SELECT last_opened_at FROM links WHERE type = '"'contact'"'")" != "$before" ]' ||
  fail "Return did not reach the saved card"
hide_panel
[ "$(sql "SELECT COUNT(*) FROM links")" = 10 ] ||
  fail "an event of a calendar switched off, or without the service, was offered: $(sql "SELECT title FROM links")"
grep -q "Calendars absent contacts absent" "$E2E_HOME/morvane.log" ||
  fail "the stores did not find the service absent"
stop "$app"
echo "PASS"
