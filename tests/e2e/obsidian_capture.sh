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
# after <count> <answer>: the probe printed <count> notices, the last one followed by this answer.
after() {
  wait_for 10 bash -c '[ "$(grep -c ^activated "$1")" = "$2" ] && [ "$(tail -n 1 "$1")" = "$3" ]' _ "$out" "$@" ||
    fail "after notice $1 the probe printed: $(cat "$out")"
}
note="captured Plan é | obsidian://open?path=$E2E_HOME/Vault%20One/Daily/Plan%20%C3%A9.md | Obsidian"
open workspace-probe sh -c "exec '$probe' >'$out' 2>'$E2E_HOME/probe.log'"
after 1 nothing
open notes xterm -class obsidian -title notes -e sleep 600
after 2 "$note"
activate "$(window_titled workspace-probe)"
after 3 "$note"
open other xterm -class Other -title other -e sleep 600
after 4 nothing
echo "PASS"
