#!/usr/bin/env bash
# Thunderbird with a prepared profile (Local Folders with an mbox Inbox, nothing to set up): the
# message selected in its list is what the quick panel offers and saves, as the message: link of its
# Message-ID, and the tray's indicator turns on (off with another window in front, on again back);
# the saved link reopens the message in the running Thunderbird, and starts Thunderbird when it is
# not running.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
# A bus of its own, whose accessibility bus keeps its socket in this run's runtime folder.
own_bus "$0" "$@"
. "$(dirname "$0")/tray_indicator.sh"
start_session "$@"
# Applications started on this bus start the desktop's document portal, which mounts a file system in
# the runtime folder: it is unmounted before the home is removed.
trap 'fusermount -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT
accessibility_on

# The profile is the default one, so that a plain "thunderbird mid:…" reaches it.
mkdir -p "$E2E_HOME/.thunderbird"
cp -r "$(dirname "$0")/data/thunderbird-profile" "$E2E_HOME/.thunderbird/e2e"
printf '[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=e2e\nIsRelative=1\nPath=e2e\nDefault=1\n' \
  >"$E2E_HOME/.thunderbird/profiles.ini"
export MOZ_LEGACY_PROFILES=1
url='message://%3Csecond.notes%40example.org%3E'

library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
sql() { sqlite3 "$library" "$1"; }
start_app
wait_for 15 tray_window || fail "no tray icon appeared"
wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"

main_window() { xdotool search --name ' - Mozilla Thunderbird$' | head -n 1; }
inbox_shown() { xdotool search --name '^Inbox - Local Folders - Mozilla Thunderbird$'; }

thunderbird >"$E2E_HOME/thunderbird.log" 2>&1 &
# Started, it shows its account's own page, titled after it.
wait_for 60 window_titled "Local Folders - Mozilla Thunderbird" || fail "thunderbird did not start"
activate "$(main_window)"
# The folder pane's first row is Local Folders: open it, take its Inbox, then the first unread message.
xdotool mousemove 143 132 click 1
xdotool key Right Down
wait_for 20 inbox_shown || fail "the Inbox was not shown"
# The list shows the folder once Thunderbird has made its summary: a key before that selects nothing.
wait_for 30 test -e "$E2E_HOME/.thunderbird/e2e/Mail/Local Folders/Inbox.msf" || fail "the Inbox was not listed"
xdotool key n

saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'mail'
  AND title = 'Café notes - Gråce Hopper <grace@example.org>'")" = 1 ]; }
save_capture saved "the selected message"
expect_indicator on "over the saved message"
away_and_back "$(main_window)" "Thunderbird's saved message"

message_window() { xdotool search --name '^Café notes - Mozilla Thunderbird$'; }
reopen() {
  open_row() {
    panel >/dev/null || show_panel
    xdotool key Return
    wait_for 15 message_window
  }
  wait_for 40 open_row || fail "the saved message did not open in Thunderbird ($1)"
}
# Thunderbird running: the message opens in a window of its own.
reopen "running"
# This session's Thunderbird only, by its process: others may run on the machine.
thunderbird_pid=$(xdotool getwindowpid "$(main_window)")
kill "$thunderbird_pid"
wait_for 20 process_gone "$thunderbird_pid" || fail "thunderbird did not end"
# Thunderbird not running: the link starts it (a Thunderbird that is only starting does not look the
# message up, so its own window is what shows).
start_row() {
  panel >/dev/null || { show_panel; xdotool type --delay 20 "notes"; }
  xdotool key Return
  wait_for 20 main_window
}
wait_for 60 start_row || fail "the saved message did not start Thunderbird"
echo "PASS"
