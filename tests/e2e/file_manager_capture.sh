#!/usr/bin/env bash
# File managers: a file selected in Nautilus (its folder from FileManager1, its selection on the
# accessibility bus) is what the quick panel offers and saves, as a file link with its identity
# evidence.
set -euo pipefail
binary=$1
[ -n "${MORVANE_E2E_BUS:-}" ] || MORVANE_E2E_BUS=1 exec dbus-run-session -- "$0" "$@"
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null ||
  fail "the accessibility bus cannot be turned on"

docs="$E2E_HOME/Docs"
mkdir -p "$docs/Sub dir"
printf 'notes\n' >"$docs/Notes é.txt"
printf 'other\n' >"$docs/Other.txt"
url="file://${docs}/Notes%20%C3%A9.txt"
library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
sql() { sqlite3 "$library" "$1"; }
start_app
wait_for 15 tray_window || fail "no tray icon appeared"
wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"

panel_active() { [ -n "${w:-}" ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$w" ]; }
show_panel() {
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "ctrl+super+l did not map the panel"
  w=$(panel)
  wait_for 5 panel_active || fail "the panel did not take the focus"
}
saved_from() {
  [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'file' AND title = 'Notes é.txt'
    AND file_size = 6")" = 1 ]
}
capture_and_save() {
  # The capture is read at the monitor's poll: until then Return finds nothing and hides the panel.
  local attempt
  for attempt in 1 2 3 4 5 6 7 8; do
    panel >/dev/null || show_panel
    xdotool key Return
    ! wait_for 3 saved_from || break
  done
  saved_from || fail "the file selected in $1 was not captured: $(sql "SELECT title, url, type FROM links")"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not hide the panel"
}

nautilus --select "$docs/Notes é.txt" >"$E2E_HOME/nautilus.log" 2>&1 &
wait_for 30 window_titled Docs || fail "nautilus did not show the folder"
activate "$(window_titled Docs)"
capture_and_save Nautilus
echo "PASS"
