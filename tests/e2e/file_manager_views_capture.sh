#!/usr/bin/env bash
# Nemo (its folder from its path bar), Caja (from its location entry), Thunar in its list and icon
# views (its location entry; the icon view's one selected item from its status bar) and PCManFM (as
# Thunar's icon view), each with a file selected in a folder: the quick panel offers that file and
# saves it with Return, the tray indicator turns on, and the saved link opens the same file in the
# desktop's handler for it. In Nemo, another file of the same folder selected just before the panel
# opens is the one saved, never the one read before; in Thunar's icon view too, ten times over, with
# Right, the panel and Return at once. Run as an ordinary user, as these file managers are used (Nemo shows a
# banner to root).
set -euo pipefail
binary=$1 recorder=$2
. "$(dirname "$0")/e2e_common.sh"
as_unprivileged_user "$0" "$@"
own_bus "$0" "$@"
start_session "$@"
accessibility_on
accessibility_ready

docs="$E2E_HOME/Docs"
mkdir -p "$docs/Sub dir"
printf 'notes\n' >"$docs/Notes é.txt"
printf 'other\n' >"$docs/Other.txt"
url="file://${docs}/Notes%20%C3%A9.txt"

# The desktop's handler for text files only writes down what it was given.
opened=$E2E_HOME/opened.txt
touch "$opened"
mkdir -p "$XDG_DATA_HOME/applications"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$opened" >"$E2E_HOME/text-handler"
chmod +x "$E2E_HOME/text-handler"
printf '[Desktop Entry]\nType=Application\nName=E2E Text\nExec=%s %%f\nMimeType=text/plain;\nNoDisplay=true\n' \
  "$E2E_HOME/text-handler" >"$XDG_DATA_HOME/applications/e2e-text.desktop"
xdg-mime default e2e-text.desktop text/plain
start_app_ready

# choose_just_before_show: with "Notes é.txt" read and saved, the user selects
# "Other.txt" in the same folder (the window keeps its title) and opens the panel at once: the panel
# reads the window again before it offers anything, and Return, waiting for that reading, saves
# Other.txt and does not open the file read before.
choose_just_before_show() {
  local other="file://${docs}/Other.txt"
  other_saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$other' AND title = 'Other.txt'")" = 1 ]; }
  : >"$opened"
  xdotool type "O"
  xdotool key Escape
  show_panel
  xdotool key Return
  wait_for 10 other_saved ||
    fail "Return did not save the file selected just before the panel opened: $(sql "SELECT title FROM links")"
  [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND last_opened_at IS NOT NULL")" = 0 ] ||
    fail "Return opened the file read before"
  ! grep -qF "Notes" "$opened" || fail "the file read before was opened: $(cat "$opened")"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not hide the panel"
}

# capture_from <name> <window title> <keys choosing the view, or ""> <command...>: the file manager
# shows Docs with "Notes é.txt" selected; the panel saves it, the indicator turns on, and the saved
# link opens the file.
capture_from() {
  local name=$1 title=$2 view_keys=$3
  shift 3
  "$@" >>"$E2E_HOME/file-manager.log" 2>&1 &
  local manager=$!
  wait_for 30 window_titled "$title" || fail "$name did not show the folder"
  activate "$(window_titled "$title")"
  [ -z "$view_keys" ] || xdotool key $view_keys
  # Typing a name selects the item it begins; Escape ends the typing and keeps the selection. Keys
  # typed before the folder is listed select nothing: typed again until the status bar names it.
  selection_shown() {
    "$recorder" "$manager" "$E2E_HOME/tree.json" 2>/dev/null && grep -qF '\"Notes é.txt\"' "$E2E_HOME/tree.json"
  }
  local attempt
  for attempt in 1 2 3 4 5; do
    xdotool type --delay 50 "Notes"
    xdotool key Escape
    ! wait_for 5 selection_shown || break
  done
  selection_shown || fail "$name did not select the file typed"
  saved_from() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'file'
    AND title = 'Notes é.txt' AND file_size = 6 AND source_app = '$name'")" = 1 ]; }
  save_capture saved_from "the file selected in $name"
  wait_for 10 indicator_on || fail "the indicator did not turn on over $name once its file was saved"
  [ "$name" != Nemo ] || choose_just_before_show

  : >"$opened"
  open_row() {
    panel >/dev/null || { show_panel; xdotool type --delay 20 "Notes"; }
    xdotool key Return
    wait_for 10 grep -qxF "$docs/Notes é.txt" "$opened"
  }
  wait_for 40 open_row || fail "the file saved from $name did not open: $(cat "$opened")"
  kill "$manager" 2>/dev/null || true
  wait_for 15 bash -c '! xdotool search --name "^$1\$"' _ "$title" || fail "$name did not end"
  sql "DELETE FROM links"
}

# thunar_instant_switches <rounds>: Thunar shows a folder of small files in its icon view, where only
# its status bar names the selected item, with the first file saved. Each round selects the next file
# with Right and opens the panel with Return pressed at once: the panel reads the window again before
# it offers anything and Return, waiting for that reading, saves the file now selected and never opens
# the one saved before.
thunar_instant_switches() {
  local rounds=$1 row="$E2E_HOME/Row" i name
  mkdir -p "$row"
  for i in $(seq 0 "$rounds"); do printf 'file %s\n' "$i" >"$row/$(printf 'f%02d' "$i")"; done
  thunar "$row" >>"$E2E_HOME/file-manager.log" 2>&1 &
  local manager=$!
  wait_for 30 window_titled "Row - Thunar" || fail "Thunar did not show the folder"
  local window
  window=$(window_titled "Row - Thunar")
  activate "$window"
  xdotool windowsize "$window" 1024 740
  # The icon view, without the side pane and at the smallest size, holds every file in one row.
  xdotool key ctrl+1 F9 ctrl+minus ctrl+minus ctrl+minus
  status_names() {
    "$recorder" "$manager" "$E2E_HOME/tree.json" 2>/dev/null && grep -qF "\"\\\"$1\\\"" "$E2E_HOME/tree.json"
  }
  # A click on the first file selects it and puts the keyboard in the view (typing would leave it in
  # the location entry).
  local attempt
  for attempt in 1 2 3 4 5; do
    xdotool mousemove --window "$window" 22 120 click 1
    ! wait_for 5 status_names f00 || break
  done
  status_names f00 || fail "Thunar did not select the file typed"
  saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE title = '$1' AND source_app = 'Thunar'")" = 1 ]; }
  first_saved() { saved f00; }
  save_capture first_saved "the first file of the row"
  for i in $(seq 1 "$rounds"); do
    name=$(printf 'f%02d' "$i")
    : >"$opened"
    # Back in Thunar once the panel has gone, as a user is.
    wait_for 10 active_is "$window" || activate "$window"
    xdotool key Right
    show_panel
    xdotool key Return
    wait_for 10 saved "$name" ||
      fail "round $i: Return did not save $name, selected just before the panel opened: $(sql "SELECT title FROM links ORDER BY created_at")"
    [ "$(sql "SELECT COUNT(*) FROM links WHERE last_opened_at IS NOT NULL")" = 0 ] ||
      fail "round $i: Return opened a file saved before: $(sql "SELECT title FROM links WHERE last_opened_at IS NOT NULL")"
    wait_for 10 no_panel || { xdotool key Escape; wait_for 10 no_panel || fail "round $i: the panel stayed"; }
  done
  kill "$manager" 2>/dev/null || true
  wait_for 15 bash -c '! xdotool search --name "^Row - Thunar\$"' || fail "Thunar did not end"
  sql "DELETE FROM links"
}

capture_from Nemo Docs "" nemo "$docs"
capture_from Caja Docs "" caja --no-desktop "$docs"
capture_from Thunar "Docs - Thunar" ctrl+2 thunar "$docs"
capture_from Thunar "Docs - Thunar" ctrl+1 thunar "$docs"
thunar_instant_switches 10
# A GTK 2 program: on the accessibility bus only with the bridge module loaded.
capture_from PCManFM Docs "" env GTK_MODULES=gail:atk-bridge pcmanfm "$docs"

# Thunar's settings (its last view) were kept by the session bus's settings service in the session's
# own config folder, and are there once it has ended: nothing is written after the home is removed.
stop_session_services
[ -s "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" ] ||
  fail "Thunar's settings were not written into the session's config folder before its end"
echo "PASS"
