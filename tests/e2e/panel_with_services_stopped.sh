#!/usr/bin/env bash
# The quick panel maps promptly whatever the desktop's calendar and contact stores and its
# accessibility bus do: with Evolution Data Server's registry stopped (SIGSTOP), with its calendar
# factory stopped, with its address book factory stopped, and with the accessibility bus and its
# registry stopped, the first show after the stop and a later one each map the panel within a bound
# that only a wait on a stopped process passes (the usual show takes about a tenth of a second), and
# keys typed at once reach the panel's field. Each time is printed.
set -euo pipefail
binary=$1
seed=$2
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
[ -x /usr/libexec/evolution-calendar-factory ] || fail "evolution-data-server is not installed"
accessibility_on
trap 'resume_services; end_session' EXIT

# The bound: generous against a loaded machine, short of the shortest wait on a stopped service.
bound_ms=1500
milliseconds() { awk "BEGIN { printf \"%d\", ($EPOCHREALTIME - $1) * 1000 }"; }
# show_timed <what>: the shortcut, then the time until the panel maps; typed text reaches its field.
show_timed() {
  local started=$EPOCHREALTIME elapsed
  xdotool key ctrl+super+l
  until panel >/dev/null; do
    [ "$(milliseconds "$started")" -lt 10000 ] || fail "the panel did not map within 10 s ($1)"
  done
  elapsed=$(milliseconds "$started")
  echo "show with $1: $elapsed ms (load $(cut -d' ' -f1 /proc/loadavg), $(nproc) cores)"
  w=$(panel)
  wait_for 5 panel_active || fail "the panel did not take the focus ($1)"
  [ "$elapsed" -le "$bound_ms" ] || fail "the panel mapped $elapsed ms after the shortcut ($1)"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not unmap the panel ($1)"
}
# shows_timed <what>: the first show after the stop, and a later one.
shows_timed() {
  show_timed "$1, first show"
  show_timed "$1, later show"
}

# The usual show, with every service answering; the stores are read from the first show on.
seed_stores
start_app_ready
shows_timed "every service answering"
quit_app
# Each of the store's processes stopped, before Morvane starts (the first show then loads the stores'
# module, whose reader waits on the stopped process), and while it runs, after the stores were read.
for service in "$registry" "$calendars" "$books"; do
  seed_stores
  stop_service "$service"
  start_app_ready
  shows_timed "$service stopped before the start"
  # The first show had the stores read: their module's reader now waits on the stopped process.
  wait_for 10 grep -q libmorvane-eds "/proc/$app/maps" || fail "the show did not reach the stores ($service)"
  quit_app
  resume_services
  seed_stores
  start_app_ready
  show_panel
  xdotool type --delay 20 "Zebra"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not unmap the panel"
  stop_service "$service"
  shows_timed "$service stopped after a search"
  quit_app
  resume_services
done

start_app_ready
# The accessibility bus's daemon and its registry.
accessibility_ready
stop_accessibility_bus
shows_timed "the accessibility bus and its registry stopped"
resume_services
quit_app
echo "PASS"
