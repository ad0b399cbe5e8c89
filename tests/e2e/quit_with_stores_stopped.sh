#!/usr/bin/env bash
# Quit is prompt whatever the desktop's calendar and contact stores and its accessibility bus do: with
# Evolution Data Server's registry stopped (SIGSTOP) before the first search, again with the registry
# and both factories stopped, and with the accessibility bus and its registry stopped while Morvane
# reads a file manager's window over it, `morvane --quit` ends the process within a few seconds, with
# status 0 and the library closed (no write-ahead log left behind). Each time is printed; the bound is
# generous, so that only a wait on the stopped processes fails it.
set -euo pipefail
binary=$1
seed=$2
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
[ -x /usr/libexec/evolution-calendar-factory ] || fail "evolution-data-server is not installed"
accessibility_on

# Thunar's toolkit mounts the desktop's document portal in the runtime folder, which the home's removal
# cannot enter while it is mounted.
trap 'resume_services; fusermount -uz "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT

# quit_now <what>: asks the running copy to quit and waits for the process to end.
quit_now() {
  local started=$EPOCHREALTIME
  "$binary" --quit || fail "morvane --quit failed ($1)"
  wait_for 5 app_exited || fail "morvane was still running 5 s after --quit ($1)"
  local status=0
  wait "$app" || status=$?
  [ "$status" = 0 ] || fail "morvane exited with status $status ($1)"
  echo "quit with $1: $(awk "BEGIN { printf \"%.2f\", $EPOCHREALTIME - $started }") s"
  # A thread left inside a call ends with the process, which then skips its exit sequence.
  echo "threads left inside a call: $(grep -c "with the process" "$E2E_HOME/morvane.log" || true)"
  [ ! -s "$library-wal" ] || fail "the library was not closed cleanly ($1)"
}

# quit_timed <what>: searches once (the stores are read from the first search on), asks the running
# copy to quit and waits for the process to end.
quit_timed() {
  start_app_ready
  show_panel
  xdotool type --delay 20 "Zebra"
  # The search loads the stores' module, whose reader then waits on the stopped processes.
  wait_for 10 grep -q libmorvane-eds "/proc/$app/maps" || fail "the search did not reach the stores ($1)"
  quit_now "$1"
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

# The accessibility bus: a file manager in front, whose window the capture poll reads over the bus;
# the bus's daemon and its registry are stopped while those reads go on, and each read then waits out
# its time limit.
resume_services
accessibility_ready
docs=$E2E_HOME/Docs
mkdir -p "$docs"
thunar "$docs" >"$E2E_HOME/thunar.log" 2>&1 &
wait_for 30 window_titled "Docs - Thunar" || fail "Thunar did not show the folder"
start_app_ready
thunar_window=$(window_titled "Docs - Thunar")
activate "$thunar_window"
# The panel over Thunar says what it read of its window over the bus, while the bus answers.
texts=$(dirname "$0")/accessible_texts.py
read_over_thunar() { "$texts" texts morvane | grep -xF "Select a file in Thunar to capture it." >/dev/null; }
show_panel
wait_for 15 read_over_thunar || fail "the panel did not read Thunar's window over the accessibility bus"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not hide the panel"
wait_for 10 active_is "$thunar_window" || activate "$thunar_window"
stop_accessibility_bus
# waits_unread <pid>: a request morvane wrote lies unread in a socket of that (stopped) process, so a
# poll now waits on it.
waits_unread() {
  local ours
  ours=" $(ss -xpH | awk -v p="pid=$app," 'index($0, p) { print $6 }' | paste -sd' ') "
  ss -xpH | awk -v p="pid=$1," -v ours="$ours" \
    'index($0, p) && $3 > 0 && index(ours, " " $8 " ") { found = 1 } END { exit !found }'
}
wait_for 20 waits_unread "$a11y_bus" || fail "no read of morvane's waited on the stopped accessibility bus"
quit_now "the accessibility bus and its registry stopped"
