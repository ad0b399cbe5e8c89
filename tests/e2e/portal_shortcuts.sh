#!/usr/bin/env bash
# The global shortcuts through the desktop portal as a KDE session offers it: xdg-desktop-portal with
# its KDE backend and the kglobalaccel daemon on a private session bus. The shortcuts are bound with
# the keys asked for, the desktop says which keys it gave them, a press of those keys reaches the
# probe once, keys the user changes in the daemon survive a new start (the fixed session token), and
# keys recorded in Morvane afterwards do not replace them.
set -euo pipefail
probe=$1
export MORVANE_E2E_NO_TRAY=1
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
# The portal mounts its document store in the runtime folder, which must be let go of before the
# home is removed.
trap 'fusermount -uz "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT
# The portal picks its backend by the desktop's name; the backend and the daemon it starts are
# Qt programs on this display.
export XDG_CURRENT_DESKTOP=KDE
dbus-update-activation-environment DISPLAY XDG_CURRENT_DESKTOP QT_QPA_PLATFORM

QT_QPA_PLATFORM=offscreen start_probe
send() { echo "$1" >&3; }
printed() { grep -qx "$1" "$E2E_HOME/probe.out"; }
count() { grep -cx "$1" "$E2E_HOME/probe.out" || true; }

# The first question starts the portal, its backend and the daemon; the desktop holds the shortcuts
# once it has bound them.
send register
wait_for 10 printed registered || fail "the probe did not register"
wait_for 60 printed "portal available" || fail "the portal did not bind the shortcuts"
wait_for 30 printed "trigger quick-panel Meta+Ctrl+L" ||
  fail "the desktop did not report the quick panel's keys: $(cat "$E2E_HOME/probe.out")"
printed "trigger graph Meta+Ctrl+G" || fail "the desktop did not report the graph's keys"

# Each press once, in order.
for round in 1 2 3 4 5; do
  xdotool key ctrl+super+l
  wait_for 10 test "$(count "hotkey 1")" -eq $round || fail "press $round of the quick panel's keys gave $(count "hotkey 1")"
  xdotool key ctrl+super+g
  wait_for 10 test "$(count "hotkey 2")" -eq $round || fail "press $round of the graph's keys gave $(count "hotkey 2")"
done
[ "$(count "hotkey 1")" -eq 5 ] && [ "$(count "hotkey 2")" -eq 5 ] || fail "a press ran twice"

# The user gives the quick panel other keys in the desktop's settings; a new start of the
# application keeps them, and they work.
dbus-send --session --print-reply --dest=org.kde.kglobalaccel /kglobalaccel \
  org.kde.KGlobalAccel.setForeignShortcut "array:string:morvane,quick-panel,morvane,Open Morvane" \
  array:int32:$((0x10000000 | 0x04000000 | 0x4b)) >"$E2E_HOME/rebind.log" 2>&1 ||
  fail "the shortcut daemon did not take the new keys"
exec 3>&-
wait_for 10 bash -c '! kill -0 $1' _ $probe_pid || fail "the probe did not quit at the end of its input"
QT_QPA_PLATFORM=offscreen start_probe
send register
wait_for 30 printed "portal available" || fail "the portal did not bind the second start's shortcuts"
wait_for 30 printed "trigger quick-panel Meta+Ctrl+K" ||
  fail "the user's keys did not survive a new start: $(cat "$E2E_HOME/probe.out")"
xdotool key ctrl+super+k
wait_for 10 printed "hotkey 1" || fail "the user's keys did not reach the probe"

# Keys recorded in Morvane's Preferences are handed over as the ones wanted; the desktop keeps the
# user's, answers the new set with them, and says so.
send record
wait_for 10 printed recorded || fail "the probe did not take the recorded keys"
wait_for 30 eval '[ "$(count bound)" -ge 2 ]' || fail "the desktop did not answer the recorded keys: $(cat "$E2E_HOME/probe.out")"
! printed "trigger quick-panel Ctrl+Alt+M" || fail "the desktop took the recorded keys"
[ "$(grep '^trigger quick-panel' "$E2E_HOME/probe.out" | tail -n 1)" = "trigger quick-panel Meta+Ctrl+K" ] ||
  fail "the desktop answered the recorded keys with $(grep '^trigger quick-panel' "$E2E_HOME/probe.out" | tail -n 1)"
echo "PASS"
