#!/usr/bin/env bash
# The two default shortcuts through the real X11 backend: a press dispatches once, with the locks on,
# while held and under a layout without Latin letters; a shortcut another client holds is reported in
# use and left wholly free.
set -euo pipefail
probe=$1
grabber=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

start_probe
grab_pid=
# The session's exit trap stops the probe and any grabbing client with the rest.

send() { echo "$1" >&3; }
# expect <line>...: all the probe printed so far reads exactly as expected, these lines last.
expected=
expect() {
  for line in "$@"; do expected+="$line"$'\n'; done
  wait_for 10 bash -c '[ "$(cat "$1")" = "$2" ]' _ "$E2E_HOME/probe.out" "${expected%$'\n'}" ||
    fail "expected the probe to print $*; it printed: $(cat "$E2E_HOME/probe.out")"
}
# grab <answer> <state>...: another client grabs ctrl+super+l under these states and answers so.
grab() {
  local answer=$1; shift
  "$grabber" "$@" >"$E2E_HOME/grab.out" 2>&1 &
  grab_pid=$!
  wait_for 10 grep -qx "$answer" "$E2E_HOME/grab.out" || fail "the other client answered: $(cat "$E2E_HOME/grab.out")"
}
release() { kill "$grab_pid"; wait "$grab_pid" || true; }

send register
expect registered
# The next shortcut's line follows straight after: each press dispatched once.
xdotool key ctrl+super+l
xdotool key ctrl+super+g
expect "hotkey 1" "hotkey 2"

# Num Lock, then both locks, then Caps Lock alone.
xdotool key Num_Lock ctrl+super+l Caps_Lock ctrl+super+g Num_Lock ctrl+super+l Caps_Lock
expect "hotkey 1" "hotkey 2" "hotkey 1"

# Held past the server's auto-repeat delay (the hold is the input, not a wait for a result).
xdotool keydown ctrl+super+l
sleep 1.5
xdotool keyup ctrl+super+l
xdotool key ctrl+super+g
expect "hotkey 1" "hotkey 2"

# A layout without Latin letters: the shortcuts take the keys in the places of L and G.
setxkbmap -layout ru
send unregister
send register
expect unregistered registered
xdotool key ctrl+super+Cyrillic_de ctrl+super+Cyrillic_pe
expect "hotkey 1" "hotkey 2"
setxkbmap -layout us

# Control | Mod4, with Caps Lock (Lock) and Num Lock (Mod2).
all_states=(0x44 0x46 0x54 0x56)
send unregister
expect unregistered
# Held by another client with Num Lock only: in use, and the variants that were granted are given
# back; the other shortcut still works.
grab grabbed 0x54
send register
expect "failed ⌃⌘L" registered
xdotool key ctrl+super+g
expect "hotkey 2"
release
send unregister
expect unregistered
grab grabbed "${all_states[@]}"
release

echo "PASS"
