#!/usr/bin/env bash
# Quit is prompt whatever the desktop's calendar and contact stores do: with Evolution Data Server's
# registry stopped (SIGSTOP) before the first search, and again with the registry and both factories
# stopped, `morvane --quit` ends the process within a few seconds, with status 0 and the library
# closed (no write-ahead log left behind). Each time is printed; the bound is generous, so that only a
# wait on the stopped processes fails it.
set -euo pipefail
binary=$1
seed=$2
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
[ -x /usr/libexec/evolution-calendar-factory ] || fail "evolution-data-server is not installed"
accessibility_on

registry=org.gnome.evolution.dataserver.Sources5
calendars=org.gnome.evolution.dataserver.Calendar8
books=org.gnome.evolution.dataserver.AddressBook10
owner_pid() { # <bus name>
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" | sed 's/^(uint32 \([0-9]*\),)$/\1/'
}
stopped=()
stop_service() { # <bus name>
  local pid
  pid=$(owner_pid "$1") || fail "$1 is not running"
  kill -STOP "$pid"
  stopped+=("$pid")
}
# The stopped services go on again, so that they end with the bus.
resume_services() {
  [ ${#stopped[@]} -eq 0 ] || kill -CONT "${stopped[@]}" 2>/dev/null || true
  stopped=()
}
trap 'resume_services; end_session' EXIT

# Writing an event and a card starts the registry and both factories (which end again a while after
# their last client).
seed_stores() {
  local now
  now=$(date +%s)
  "$seed" event "Quarterly Zebra Review" $((now + 3600)) $((now + 7200)) >/dev/null || fail "could not write the event"
  "$seed" contact "Ann Zebrafish" "Okapi Works" >/dev/null || fail "could not write the card"
}

# quit_timed <what>: searches once (the stores are read from the first search on), asks the running
# copy to quit and waits for the process to end.
quit_timed() {
  start_app_ready
  show_panel
  xdotool type --delay 20 "Zebra"
  # The search loads the stores' module, whose reader then waits on the stopped processes.
  wait_for 10 grep -q libmorvane-eds "/proc/$app/maps" || fail "the search did not reach the stores ($1)"
  local started=$EPOCHREALTIME
  "$binary" --quit || fail "morvane --quit failed ($1)"
  wait_for 5 app_exited || fail "morvane was still running 5 s after --quit ($1)"
  local status=0
  wait "$app" || status=$?
  [ "$status" = 0 ] || fail "morvane exited with status $status ($1)"
  echo "quit with $1: $(awk "BEGIN { printf \"%.2f\", $EPOCHREALTIME - $started }") s"
  [ ! -s "$library-wal" ] || fail "the library was not closed cleanly ($1)"
}

seed_stores
stop_service "$registry"
quit_timed "the registry stopped"

resume_services
seed_stores
stop_service "$registry"
stop_service "$calendars"
stop_service "$books"
quit_timed "the registry and both factories stopped"
