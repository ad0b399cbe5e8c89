#!/usr/bin/env bash
# The X11 workspace under a real window manager, as on a Wayland session's X display: a window whose
# class the table knows is reported under the providers' identifier, the probe's own window as the
# probe itself, and switching between two windows of one application sends no notice. The window a
# capture reads is the one in front, or while the probe's own window is in front, the one before it,
# with its title and process.
set -euo pipefail
probe=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

notices=$E2E_HOME/notices.txt

activated() { grep '^activated ' "$notices" | cut -d' ' -f2- | paste -sd' ' -; }
expect_notices() { wait_for 10 test "$(activated)" = "$1" || fail "notices: '$(activated)', expected '$1'"; }

own=org.morvane.WorkspaceProbe
# As on a Wayland desktop through Xwayland: the X11 windows in front are still known.
export WAYLAND_DISPLAY=wayland-e2e
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
pid_of() { xdotool getwindowpid "$(window_titled "$1")"; }
windows=$(grep '^window ' "$notices" | tail -n 3 | paste -sd';' -)
expected="window one | md.obsidian | $(pid_of one);window three | com.google.Chrome | $(pid_of three)"
expected+=";window three | com.google.Chrome | $(pid_of three)" # the probe in front: Chrome's before it
[ "$windows" = "$expected" ] || fail "windows read: '$windows', expected '$expected'"
echo "PASS"
