#!/usr/bin/env bash
# The X11 workspace under a real window manager: a window whose class the table knows is reported
# under the providers' identifier, the probe's own window as the probe itself, and switching between
# two windows of one application sends no notice.
set -euo pipefail
probe=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

notices=$E2E_HOME/notices.txt

window_titled() { xdotool search --name "^$1\$" | head -n 1; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
activate() {
  xdotool windowactivate "$1" 2>/dev/null || true
  wait_for 10 active_is "$1" || fail "window $1 did not become active"
}
# open <title> <command...>: starts a window with this title and brings it to the front.
open() {
  local title=$1; shift
  "$@" &
  wait_for 15 window_titled "$title" || fail "window $title did not appear"
  activate "$(window_titled "$title")"
}
activated() { grep '^activated ' "$notices" | cut -d' ' -f2- | paste -sd' ' -; }
expect_notices() { wait_for 10 test "$(activated)" = "$1" || fail "notices: '$(activated)', expected '$1'"; }

own=org.morvane.WorkspaceProbe
open workspace-probe sh -c "exec '$probe' >'$notices' 2>'$E2E_HOME/probe.log'"
expect_notices "$own"
# xterm without a shell keeps its title.
open one xterm -class Obsidian -title one -e sleep 600
expect_notices "$own md.obsidian"
open two xterm -class Obsidian -title two -e sleep 600 # the same application: no notice
activate "$(window_titled one)"
open three xterm -class Google-chrome -title three -e sleep 600
activate "$(window_titled workspace-probe)"
expect_notices "$own md.obsidian com.google.Chrome $own"
echo "PASS"
