#!/usr/bin/env bash
# The quick panel's everyday work, typed as a user would: Ctrl+N saves a new link; a search and Return
# open it in the desktop's browser and hide the panel; Ctrl+C and "Copy as" → "Markdown" put it on the
# clipboard; Ctrl+K relates it to another link, chosen by typing that one's title; Ctrl+Backspace and
# Return delete it, its relation with it.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
use_stand_in_browser

library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
sql() { sqlite3 "$library" "$1"; }
start_app
wait_for 15 tray_window || fail "no tray icon appeared"
wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"
other=0C0FFEE0-0000-4000-8000-00000000000A
stamp=2024-05-01T09:30:12.345Z
sql "INSERT INTO links (id, title, url, type, created_at, updated_at)
  VALUES ('$other', 'Harbour Tide Tables', 'https://example.com/tides', 'web', '$stamp', '$stamp')"

# Typing goes to the focused field; the search runs in the background, so a key that acts on the
# selection waits until the selection is the one asked for (the clipboard shows it).
clipboard() { xclip -o -selection clipboard 2>/dev/null; }
copies() { # <expected>
  xdotool key ctrl+c
  [ "$(clipboard)" = "$1" ]
}
select_by_typing() { # <text> <url of the link it should select>
  xdotool type --delay 20 "$1"
  wait_for 10 copies "$2" || fail "typing \"$1\" did not select $2 (the clipboard holds: $(clipboard))"
}

# A new link through the add form.
title="Morvane Flow Page"
url=https://example.com/x
show_panel
xdotool key ctrl+n
xdotool type --delay 20 "$title"
xdotool key Tab
xdotool type --delay 20 "$url"
xdotool key Return
saved() { [ -n "$(sql "SELECT id FROM links WHERE url = '$url' AND title = '$title'")" ]; }
wait_for 10 saved || fail "the add form did not save the link: $(sql "SELECT title, url FROM links")"
id=$(sql "SELECT id FROM links WHERE url = '$url'")
panel >/dev/null || fail "saving the link hid the panel"

# Return opens the selected link and hides the panel; Ctrl+C had proved which link it was.
select_by_typing Flow "$url"
xdotool key Return
opened_url() { [ "$(tail -n 1 "$opened")" = "$url" ]; }
wait_for 10 opened_url || fail "Return did not open $url (opened: $(cat "$opened"))"
wait_for 10 no_panel || fail "opening the link did not hide the panel"
opened_recorded() { [ -n "$(sql "SELECT last_opened_at FROM links WHERE id = '$id'")" ]; }
wait_for 5 opened_recorded || fail "the open was not recorded"

# The action menu's "Copy as" → "Markdown".
show_panel
select_by_typing Flow "$url"
menus=$(visible_windows)
xdotool key ctrl+Return
menu_open() { [ "$(visible_windows)" -gt "$menus" ]; }
wait_for 5 menu_open || fail "Ctrl+Return did not open the action menu"
# Open, Copy, Copy as; then the submenu's URL, Markdown.
xdotool key Down Down Down Right
submenu_open() { [ "$(visible_windows)" -gt $((menus + 1)) ]; }
wait_for 5 submenu_open || fail "\"Copy as\" did not open its submenu"
xdotool key Down Return
markdown="[$title]($url)"
has_markdown() { [ "$(clipboard)" = "$markdown" ]; }
wait_for 5 has_markdown || fail "\"Copy as\" → \"Markdown\" copied \"$(clipboard)\", not \"$markdown\""
menus_closed() { [ "$(visible_windows)" -le "$menus" ]; }
wait_for 5 menus_closed || fail "the action menu stayed open"

# Ctrl+K, then the other link's title and Return: the relation is written and the panel hides.
wait_for 5 panel_active || fail "the panel did not take the focus back from its menu"
xdotool key ctrl+k
select_by_typing "Harbour Tide" https://example.com/tides
xdotool key Return
# A relation has no direction: the library stores its two ends in a fixed order of its own.
related() {
  [ "$(sql "SELECT COUNT(*) FROM link_relations WHERE (from_link_id, to_link_id) IN (VALUES ('$id', '$other'),
    ('$other', '$id'))")" = 1 ]
}
wait_for 10 related || fail "Ctrl+K and Return did not relate the links: $(sql "SELECT * FROM link_relations")"
wait_for 10 no_panel || fail "relating the links did not hide the panel"

# Ctrl+Backspace asks, Return confirms: the link and its relation are gone, the other link stays.
show_panel
select_by_typing Flow "$url"
xdotool key ctrl+BackSpace Return
gone() { [ "$(sql "SELECT COUNT(*) FROM links WHERE id = '$id'")" = 0 ]; }
wait_for 10 gone || fail "Ctrl+Backspace and Return did not delete the link"
[ "$(sql "SELECT COUNT(*) FROM link_relations")" = 0 ] || fail "the deleted link's relation stayed"
[ "$(sql "SELECT COUNT(*) FROM links WHERE id = '$other'")" = 1 ] || fail "deleting one link took another"
[ "$(wc -l <"$opened")" = 1 ] || fail "something else was opened: $(cat "$opened")"

kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
echo "PASS"
