#!/usr/bin/env bash
# qpdfview (its own bus interface for the page, the file from its open files) and Atril (its page on
# the accessibility bus, read as Evince's) show a five-page PDF at page 3: the quick panel opened over
# each offers that file at page 3 and saves it with Return, the tray indicator turns on, and the saved
# link reopens the file at page 3 in the same viewer made the desktop's PDF application.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
accessibility_on
accessibility_ready

docs="$E2E_HOME/Docs"
mkdir -p "$docs"
pdf="$docs/Five Pages.pdf"
make_pdf "$pdf" 5 "Quarterly Figures"
url="file://${docs// /%20}/Five%20Pages.pdf#page=3"
start_app_ready

saved_from() { # <viewer>
  [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'file' AND title = 'Five Pages.pdf'
    AND source_app = '$1'")" = 1 ]
}
saved_from_viewer() { saved_from "$viewer"; }

# capture_at_page_3 <viewer name> <window title> <command...>: the viewer's window in front at page 3
# is saved from the panel and lights the indicator.
capture_at_page_3() {
  viewer=$1 title=$2
  shift 2
  "$@" >>"$E2E_HOME/viewer.log" 2>&1 &
  wait_for 20 window_titled "$title" || fail "$viewer did not show the PDF"
  activate "$(window_titled "$title")"
  wait_for 10 indicator_off || fail "the indicator was on before anything was saved from $viewer"
  save_capture saved_from_viewer "$viewer at page 3"
  wait_for 10 indicator_on || fail "the indicator did not turn on over $viewer once its page was saved"
}

# reopen_at_page_3 <window title> <page check>: the viewer is closed, the saved link is opened from the
# panel, and the viewer it starts shows page 3.
reopen_at_page_3() {
  local title=$1 check=$2
  pkill -f "Five Pages" || true
  wait_for 10 bash -c '! xdotool search --name "^$1\$"' _ "$title" || fail "$viewer did not end"
  open_row() {
    panel >/dev/null || { show_panel; xdotool type --delay 20 "Five Pages"; }
    xdotool key Return
    wait_for 10 window_titled "$title"
  }
  wait_for 40 open_row || fail "the saved link did not reopen the PDF in $viewer"
  wait_for 15 "$check" || fail "$viewer did not reopen the PDF at page 3"
}

# qpdfview, as its desktop entry starts it: one instance, which owns local.qpdfview.
xdg-mime default qpdfview.desktop application/pdf
capture_at_page_3 qpdfview "Quarterly Figures - qpdfview" qpdfview --unique "$pdf#3"
qpdfview_at_page_3() {
  [ "$(gdbus call --session --dest local.qpdfview --object-path /MainWindow \
    --method local.qpdfview.MainWindow.currentPage)" = "(3,)" ]
}
reopen_at_page_3 "Quarterly Figures - qpdfview" qpdfview_at_page_3
pkill -f "Five Pages" || true
sql "DELETE FROM links"

# Atril: its page is read on the accessibility bus. The reopened window in front at page 3 is the
# saved item again, so the indicator turns on over it.
xdg-mime default atril.desktop application/pdf
capture_at_page_3 Atril "Five Pages.pdf — Quarterly Figures" atril --page-index=3 "$pdf"
atril_at_page_3() {
  activate "$(window_titled "Five Pages.pdf — Quarterly Figures")"
  indicator_on
}
reopen_at_page_3 "Five Pages.pdf — Quarterly Figures" atril_at_page_3
echo "PASS"
