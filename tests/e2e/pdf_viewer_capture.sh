#!/usr/bin/env bash
# PDF viewers at their page, through the whole application with the indicator read from the tray.
# Zathura and Okular (each over its own bus interface) show a five-page PDF at page 4: the quick panel
# saves that page and the indicator turns on; another window in front turns it off, and back on; the
# viewer turned to page 5 turns it off (a page is an item of its own); the saved link reopens the PDF
# at page 4 in the desktop's viewer, with the indicator on. Evince (its page from the accessibility
# bus, its file from its open files) at page 3 is saved and followed likewise.
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
for program in zathura okular evince; do
  command -v "$program" >/dev/null || fail "$program is not installed (scripts/install-test-deps installs it)"
done

docs="$E2E_HOME/Docs"
mkdir -p "$docs"
pdf="$docs/Five Pages.pdf"
make_pdf "$pdf" 5 "Quarterly Figures"
url_at() { echo "file://${docs// /%20}/Five%20Pages.pdf#page=$1"; }
start_app_ready

saved_at() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$(url_at "$1")' AND type = 'file'
  AND title = 'Five Pages.pdf'")" = 1 ]; }
saved_at_4() { saved_at 4; }
saved_at_3() { saved_at 3; }

# The page each viewer says it shows, counted from 1, asked of the process showing the window.
zathura_page() {
  local answer
  answer=$(gdbus call --session --dest "org.pwmt.zathura.PID-$1" --object-path /org/pwmt/zathura \
    --method org.freedesktop.DBus.Properties.Get org.pwmt.zathura pagenumber) || return 1
  answer=${answer#*uint32 }
  echo $((${answer%%>*} + 1))
}
okular_page() {
  local answer
  answer=$(gdbus call --session --dest "org.kde.okular-$1" --object-path /okular \
    --method org.kde.okular.currentPage) || return 1
  answer=${answer#*uint32 }
  echo "${answer%%,*}"
}
# at_page <viewer> <pid> <page>
at_page() { [ "$("$1_page" "$2" 2>/dev/null)" = "$3" ]; }
# next_page <viewer> <pid>: the key a reader turns the page with; Okular scrolls part of a page a key.
next_page() {
  case $1 in
  zathura) xdotool key J ;;
  okular) xdotool key Next ;;
  esac
}

# follows_pages <viewer> <window title pattern> <desktop entry>: the viewer shows the PDF at page 4.
follows_pages() {
  local viewer=$1 title=$2 entry=$3 window pid
  window=$(window_titled "$title")
  pid=$(xdotool getwindowpid "$window")
  wait_for 15 at_page "$viewer" "$pid" 4 || fail "$viewer did not show page 4"
  activate "$window"
  save_capture saved_at_4 "$viewer at page 4"
  expect_indicator on "over $viewer at the saved page 4"
  away_and_back "$window" "$viewer at page 4"

  turned() { at_page "$viewer" "$pid" 5 || { next_page "$viewer" && false; }; }
  wait_for 10 turned || fail "$viewer did not turn to page 5"
  expect_indicator off "over $viewer at page 5, which was not saved"

  # The saved link reopens the PDF at its page in the desktop's viewer.
  kill "$pid"
  wait_for 10 process_gone "$pid" || fail "$viewer did not end"
  xdg-mime default "$entry" application/pdf
  open_row() {
    panel >/dev/null || { show_panel; xdotool type --delay 20 "Five Pages"; }
    xdotool key Return
    wait_for 10 window_titled "$title"
  }
  wait_for 40 open_row || fail "the saved link did not reopen the PDF in $viewer"
  window=$(window_titled "$title")
  pid=$(xdotool getwindowpid "$window")
  wait_for 15 at_page "$viewer" "$pid" 4 || fail "$viewer did not reopen the PDF at page 4"
  activate "$window"
  expect_indicator on "over $viewer reopened at page 4"
  kill "$pid"
  sql "DELETE FROM links"
}

zathura -P 4 "$pdf" >"$E2E_HOME/zathura.log" 2>&1 &
wait_for 15 window_titled "$pdf" || fail "zathura did not show the PDF"
follows_pages zathura "$pdf" org.pwmt.zathura.desktop

# Okular titles its window with the PDF's own title.
okular -p 4 "$pdf" >"$E2E_HOME/okular.log" 2>&1 &
okular_title="Quarterly Figures.*"
wait_for 60 window_titled "$okular_title" || fail "okular did not show the PDF"
follows_pages okular "$okular_title" okularApplication_pdf.desktop

# Evince, whose page is read on the accessibility bus and whose file comes from its open files.
evince --page-index=3 "$pdf" >"$E2E_HOME/evince.log" 2>&1 &
evince_title="Five Pages.pdf — Quarterly Figures"
wait_for 20 window_titled "$evince_title" || fail "evince did not show the PDF"
activate "$(window_titled "$evince_title")"
save_capture saved_at_3 "Evince at page 3"
expect_indicator on "over Evince at the saved page 3"
away_and_back "$(window_titled "$evince_title")" "Evince"
echo "PASS"
