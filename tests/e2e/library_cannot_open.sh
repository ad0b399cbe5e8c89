#!/usr/bin/env bash
# A library that cannot be opened: morvane tells the user in a dialog and exits with a failure status.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

# A plain file where the library's folder belongs.
echo "not a folder" >"$XDG_DATA_HOME/Morvane"

"$binary" >"$E2E_HOME/morvane.log" 2>&1 &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT

dialog() { xdotool search --onlyvisible --name '^Morvane$' | head -1 | grep -q .; }
wait_for 15 dialog || fail "no error dialog appeared"
grep -q "Failed to launch Morvane" "$E2E_HOME/morvane.log" || fail "the failure was not logged"
# The dialog has the keyboard focus: Return dismisses it. Activate it explicitly if it has not.
sleep 0.5
xdotool key Return
if ! wait_for 5 bash -c "! kill -0 $app"; then
  xdotool search --onlyvisible --name '^Morvane$' windowactivate --sync 2>/dev/null || true
  xdotool key Return
  wait_for 10 bash -c "! kill -0 $app" || fail "morvane did not exit after the dialog"
fi
status=0
wait $app || status=$?
[ "$status" -ne 0 ] || fail "morvane exited with status 0"
[ -z "$(tray_window || true)" ] || fail "a tray icon was shown"
echo "PASS"
