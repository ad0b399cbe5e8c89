#!/usr/bin/env bash
# A library that cannot be opened: morvane tells the user in a dialog and exits with a failure status.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${MORVANE_E2E_INNER:-}" ]; then
  export MORVANE_E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

. "$here/e2e_common.sh"
make_home
export QT_QPA_PLATFORM=xcb
start_desktop

# A plain file where the library's folder belongs.
echo "not a folder" >"$XDG_DATA_HOME/Morvane"

"$binary" >"$E2E_HOME/morvane.log" 2>&1 &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT

dialog() { xdotool search --onlyvisible --name '^Morvane$' | head -1 | grep -q .; }
wait_for 15 dialog || fail "no error dialog appeared"
grep -q "Failed to launch Morvane" "$E2E_HOME/morvane.log" || fail "the failure was not logged"
xdotool key --window "$(xdotool search --onlyvisible --name '^Morvane$' | head -1)" Return

wait_for 10 bash -c "! kill -0 $app" || fail "morvane did not exit after the dialog"
status=0
wait $app || status=$?
[ "$status" -ne 0 ] || fail "morvane exited with status 0"
[ -z "$(tray_window || true)" ] || fail "a tray icon was shown"
echo "PASS"
