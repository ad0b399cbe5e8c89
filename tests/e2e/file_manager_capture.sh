#!/usr/bin/env bash
# File managers: a file selected in Nautilus (its folder from FileManager1, asked on Nautilus' own
# connection while Nemo holds that name, its selection on the accessibility bus) is what the quick panel offers and saves, as a file link with its identity
# evidence. A copy of the saved folder on the same computer is no saved link: the panel over the
# copied file offers to add it, and the saved link keeps its own file.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
accessibility_on

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

saved_from() {
  [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'file' AND title = 'Notes é.txt'
    AND file_size = 6")" = 1 ]
}

# Nemo takes the bus name org.freedesktop.FileManager1 when it is free, as Caja and Thunar do: Nautilus,
# started after it, is asked on its own connection.
mkdir -p "$E2E_HOME/Elsewhere"
nemo --no-desktop "$E2E_HOME/Elsewhere" >"$E2E_HOME/nemo.log" 2>&1 &
name_held_by_nemo() {
  local pid
  pid=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID org.freedesktop.FileManager1 |
    sed 's/^(uint32 \([0-9]*\),)$/\1/') && [ "$(cat "/proc/$pid/comm")" = nemo ]
}
wait_for 30 name_held_by_nemo || fail "Nemo did not take the name org.freedesktop.FileManager1"
wait_for 30 window_titled Elsewhere || fail "Nemo did not show its folder"

nautilus --select "$docs/Notes é.txt" >"$E2E_HOME/nautilus.log" 2>&1 &
wait_for 30 window_titled Docs || fail "nautilus did not show the folder"
activate "$(window_titled Docs)"
save_capture saved_from "the file selected in Nautilus"
name_held_by_nemo || fail "Nemo no longer holds the name org.freedesktop.FileManager1"

# The folder copied beside itself: the same names and contents, other files. Over the copy of the saved
# file, the panel offers the add row and says why the content matched nothing (the saved file is still
# in its place); no resolution sends the saved link to the copy, and Return adds the copy as an item of
# its own.
cp -r "$docs" "$E2E_HOME/Docs copy"
copy_url="file://$E2E_HOME/Docs%20copy/Notes%20%C3%A9.txt"
nautilus --select "$E2E_HOME/Docs copy/Notes é.txt" >>"$E2E_HOME/nautilus.log" 2>&1 &
wait_for 30 window_titled "Docs copy" || fail "nautilus did not show the copied folder"
activate "$(window_titled "Docs copy")"
texts=$(dirname "$0")/accessible_texts.py
offers_copy() {
  local shown
  shown=$("$texts" texts morvane)
  grep -qF "Return Add this item" <<<"$shown" &&
    grep -q "^File fingerprint exists locally but was not selected as a match. hash " <<<"$shown"
}
copy_offered() {
  panel >/dev/null || show_panel
  wait_for 5 offers_copy
}
over_copy() {
  copy_offered && return 0
  xdotool key Escape
  wait_for 10 no_panel
  return 1
}
wait_for 40 over_copy || fail "the panel over the copied file did not offer to add it: $("$texts" texts morvane | paste -sd'|' -)"
[ "$(sql "SELECT COUNT(*) FROM link_local_resolutions")" = 0 ] || fail "a resolution sends the saved link to the copy"
xdotool key Return
copy_saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$copy_url' AND title = 'Notes é.txt'")" = 1 ]; }
wait_for 10 copy_saved || fail "Return did not add the copied file: $(sql "SELECT title, url FROM links")"
saved_from || fail "the saved link no longer names its own file: $(sql "SELECT url FROM links")"
echo "PASS"
