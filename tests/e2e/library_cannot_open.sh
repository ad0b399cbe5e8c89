#!/usr/bin/env bash
# A library that cannot be opened, or opens but cannot be written: morvane tells the user in a dialog,
# logs the failure without the library's path, leaves the library as it was and exits with a failure
# status, without a tray icon. While it shows why, a later launch with a link is turned away: it says
# why and fails, rather than handing the link to a copy that cannot open it.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

library_folder=$XDG_DATA_HOME/Morvane
library=$library_folder/Morvane.sqlite

# expect_refusal <case> <text the log line must hold> [Return|SIGTERM]: runs morvane and dismisses its
# dialog with the Return key (the default) or ends it with SIGTERM.
expect_refusal() {
  local name=$1 expected=$2 dismiss=${3:-Return} dialog status=0
  start_app
  wait_for 15 dialog_window || fail "$name: no error dialog appeared"
  for attempt in 1 2 3; do
    status=0
    "$binary" "morvane://open/0C6A5C2E-7A8B-4F0C-9D39-2B7E6F3A1D4$attempt" >"$E2E_HOME/second.log" 2>&1 || status=$?
    [ "$status" -eq 1 ] || fail "$name: a second start with a link exited with status $status"
    grep -qF "Morvane is already running but cannot open links: Failed to launch Morvane: The operation" \
      "$E2E_HOME/second.log" || fail "$name: the second start did not say why: $(cat "$E2E_HOME/second.log")"
  done
  status=0
  if [ "$dismiss" = SIGTERM ]; then
    kill -TERM $app
  else
    # Return dismisses the dialog once it has the keyboard focus; give it the focus if the window
    # manager has not.
    dialog=$(dialog_window)
    active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$dialog" ]; }
    wait_for 5 active || xdotool windowactivate --sync "$dialog"
    xdotool key Return
  fi
  wait_for 10 app_exited || fail "$name: morvane did not exit after the dialog ($dismiss)"
  wait $app || status=$?
  [ "$status" -eq 1 ] || fail "$name: morvane exited with status $status"
  [ -z "$(tray_window || true)" ] || fail "$name: a tray icon was shown"
  grep -qF "Failed to launch Morvane: $expected" "$E2E_HOME/morvane.log" || fail "$name: the failure was not logged"
  ! grep -qF "$library_folder" "$E2E_HOME/morvane.log" || fail "$name: the log names the library's path"
}

# A plain file where the library's folder belongs.
echo "not a folder" >"$library_folder"
expect_refusal folder-blocked "The operation couldn’t be completed. (Could not create the folder <private>)"
rm "$library_folder"

# A library that SQLite reads but refuses to write: its header's write version is above 2. Unlike a
# file mode, this binds root too.
mkdir -m 700 "$library_folder"
sqlite3 "$library" "PRAGMA journal_mode = WAL; CREATE TABLE links(id TEXT PRIMARY KEY); INSERT INTO links VALUES ('A');" >/dev/null
printf '\003' | dd of="$library" bs=1 seek=18 conv=notrunc status=none
before=$(sha256sum "$library")
expect_refusal header-read-only "The operation couldn’t be completed. (attempt to write a readonly database)" SIGTERM
[ "$(sha256sum "$library")" = "$before" ] || fail "the read-only library was changed"

# A library file the user may not write (file modes bind everyone but root).
if [ "$(id -u)" -ne 0 ]; then
  printf '\002' | dd of="$library" bs=1 seek=18 conv=notrunc status=none
  chmod 444 "$library"
  before=$(sha256sum "$library")
  expect_refusal file-read-only "The operation couldn’t be completed. (attempt to write a readonly database)"
  [ "$(sha256sum "$library")" = "$before" ] || fail "the read-only library was changed"
fi
echo "PASS"
