#!/usr/bin/env bash
# PDF viewers at their page: Zathura (its own bus interface) and Evince (the accessibility bus, the
# file from its open files) show a five-page PDF at page 3; the quick panel opened over each offers
# that file at page 3 and saves it; the saved link reopens the file at page 3 in the desktop's viewer.
set -euo pipefail
binary=$1
[ -n "${MORVANE_E2E_BUS:-}" ] || MORVANE_E2E_BUS=1 exec dbus-run-session -- "$0" "$@"
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
accessibility_on

docs="$E2E_HOME/Docs"
mkdir -p "$docs"
pdf="$docs/Five Pages.pdf"
make_pdf "$pdf" 5 "Quarterly Figures"
url="file://${docs// /%20}/Five%20Pages.pdf#page=3"
xdg-mime default org.pwmt.zathura.desktop application/pdf

library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
sql() { sqlite3 "$library" "$1"; }
start_app
wait_for 15 tray_window || fail "no tray icon appeared"
wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"

saved_from() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'file'")" = 1 ] &&
  [ -n "$(sql "SELECT 1 FROM links WHERE url = '$url' AND title = 'Five Pages.pdf'")" ]; }

# Zathura, over its own bus interface.
zathura -P 3 "$pdf" >"$E2E_HOME/zathura.log" 2>&1 &
zathura_pid=$!
wait_for 15 window_titled "$pdf" || fail "zathura did not show the PDF"
activate "$(window_titled "$pdf")"
save_capture saved_from "Zathura at page 3"
kill "$zathura_pid"
wait_for 10 bash -c '! xdotool search --name "^$1\$"' _ "$pdf" || fail "zathura did not end"

# The saved link reopens the file at its page: the new viewer says page 3 (counted from 0 there).
# Return opens the row once the search has listed it.
open_row() {
  panel >/dev/null || { show_panel; xdotool type --delay 20 "Five Pages"; }
  xdotool key Return
  wait_for 10 window_titled "$pdf"
}
wait_for 30 open_row || fail "the saved link did not reopen the PDF"
reopened_at_page_3() {
  local pid name
  pid=$(xdotool search --name "^$pdf\$" getwindowpid | head -n 1)
  name=org.pwmt.zathura.PID-$pid
  [ "$(gdbus call --session --dest "$name" --object-path /org/pwmt/zathura \
    --method org.freedesktop.DBus.Properties.Get org.pwmt.zathura pagenumber)" = "(<uint32 2>,)" ]
}
wait_for 15 reopened_at_page_3 || fail "the PDF did not reopen at page 3"
pkill -f "zathura.*Five Pages" || true
sql "DELETE FROM links"

# Evince, whose page is read on the accessibility bus and whose file comes from its open files.
evince --page-index=3 "$pdf" >"$E2E_HOME/evince.log" 2>&1 &
evince_title="Five Pages.pdf — Quarterly Figures"
wait_for 20 window_titled "$evince_title" || fail "evince did not show the PDF"
activate "$(window_titled "$evince_title")"
save_capture saved_from "Evince at page 3"
echo "PASS"
