#!/usr/bin/env bash
# The X11 workspace under a real window manager: a window whose class the table knows is reported
# under the providers' identifier, the probe's own window as the probe itself, and switching between
# two windows of one application sends no notice.
set -euo pipefail
probe=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

notices=$E2E_HOME/notices.txt
pids=()
passed=
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$passed" ]; then rm -rf "$E2E_HOME"; else echo "kept: $E2E_HOME" >&2; fi
}
trap cleanup EXIT

"$probe" >"$notices" 2>"$E2E_HOME/probe.log" &
pids+=($!)

# window_titled <title>: the id of the window with exactly this title.
window_titled() { xdotool search --name "^$1\$" | head -n 1; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
activate() {
  xdotool windowactivate "$1" 2>/dev/null || true
  wait_for 10 active_is "$1" || fail "window $1 did not become active"
}
# open_xterm <class> <title>: an xterm that keeps its title (no shell to change it).
open_xterm() {
  xterm -class "$1" -title "$2" -e sleep 600 &
  pids+=($!)
  wait_for 15 window_titled "$2" || fail "xterm $2 did not appear"
  activate "$(window_titled "$2")"
}
activated() { grep '^activated ' "$notices" | cut -d' ' -f2- | paste -sd' ' -; }
expect_notices() {
  wait_for 10 test "$(activated)" = "$1" || fail "notices: '$(activated)', expected '$1'"
}

own=org.morvane.WorkspaceProbe
wait_for 15 window_titled workspace-probe || fail "the probe's window did not appear"
probe_window=$(window_titled workspace-probe)
activate "$probe_window"
expect_notices "$own"

open_xterm Obsidian one
expect_notices "$own md.obsidian"
# Another window of the same application, and back: the application in front has not changed.
open_xterm Obsidian two
activate "$(window_titled one)"
open_xterm Google-chrome three
expect_notices "$own md.obsidian com.google.Chrome"

activate "$probe_window"
expect_notices "$own md.obsidian com.google.Chrome $own"
passed=1
echo "PASS"
