#!/usr/bin/env bash
# The capture service on this system, with Obsidian's files in the home: a window of class
# "obsidian" in front gives its active note, still once the probe's own window came to the front
# over it, and nothing once another application came to the front.
set -euo pipefail
probe=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

vault="$E2E_HOME/Vault One"
mkdir -p "$vault/.obsidian" "$vault/Daily" "$XDG_CONFIG_HOME/obsidian"
touch "$vault/Daily/Plan é.md"
cat >"$XDG_CONFIG_HOME/obsidian/obsidian.json" <<JSON
{"vaults": {"a1": {"path": "$E2E_HOME/Closed", "ts": 1}, "b2": {"path": "$vault", "ts": 2, "open": true}}}
JSON
cat >"$vault/.obsidian/workspace.json" <<'JSON'
{"main": {"id": "m", "type": "split", "children": [{"id": "l1", "type": "leaf",
  "state": {"type": "markdown", "state": {"file": "Daily/Plan é.md", "mode": "source"}}}]},
 "active": "l1", "lastOpenFiles": []}
JSON

out=$E2E_HOME/probe.out
mkfifo "$E2E_HOME/probe.in"
exec 3<>"$E2E_HOME/probe.in" # held open both ways, so that neither end waits for the other
open capture-probe sh -c "exec '$probe' <'$E2E_HOME/probe.in' >>'$out' 2>'$E2E_HOME/probe.log'"
# after <identifier> <answer>: once the probe saw the application come to the front, it answers so.
after() {
  wait_for 10 grep -qx "activated $1" "$out" || fail "no notice of $1: $(cat "$out")"
  echo ask >&3
  wait_for 10 bash -c '[ "$(tail -n 1 "$1")" = "$2" ]' _ "$out" "$2" || fail "the probe answered '$(tail -n 1 "$out")', expected '$2'"
}

own=org.morvane.CaptureProbe
after $own nothing
open notes xterm -class obsidian -title notes -e sleep 600
note="captured Plan é | obsidian://open?path=$E2E_HOME/Vault%20One/Daily/Plan%20%C3%A9.md | Obsidian"
after md.obsidian "$note"
: >"$out" # the probe appends, so it writes on from the start
activate "$(window_titled capture-probe)"
after $own "$note"
open other xterm -class Other -title other -e sleep 600
after Other nothing
echo "PASS"
