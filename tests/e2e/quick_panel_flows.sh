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

start_app_ready
other=0C0FFEE0-0000-4000-8000-00000000000A
add_web_link "$other" "Harbour Tide Tables" https://example.com/tides

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

quit_app
echo "PASS"
