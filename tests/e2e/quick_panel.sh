#!/usr/bin/env bash
# The quick panel on a real X server: ctrl+super+l maps a 720 × 480 "Morvane" window whose frame is
# centred on the screen, above other windows and on every desktop; Escape unmaps it and the shortcut
# maps it centred again after it was moved. With "Delete Link?" pending, Return deletes the selected
# link from the library and opens nothing. Its frame offers no minimize or maximize, and a panel that
# another window covers comes forward at one press of the shortcut.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
use_stand_in_browser

library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
start_app
wait_for 15 tray_window || fail "no tray icon appeared"
wait_for 5 sqlite3 "$library" "SELECT COUNT(*) FROM links" || fail "no library at $library"
id=E5E5E5E5-0000-4000-8000-000000000005
url=https://example.com/panel-e2e
stamp=2024-05-01T09:30:12.345Z
sqlite3 "$library" "INSERT INTO links (id, title, url, type, created_at, updated_at)
  VALUES ('$id', 'Panel Check Page', '$url', 'web', '$stamp', '$stamp')"

client() { xwininfo -id "$1" | sed -n "s/^ *$2: *//p"; }
# The frame's centre is the work area's, to a pixel of rounding.
frame_centred() {
  local w=$1 left right top bottom area_x area_y area_w area_h x y width height
  read -r left right top bottom < <(xprop -id "$w" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  read -r area_x area_y area_w area_h < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4)
  x=$(client "$w" "Absolute upper-left X") y=$(client "$w" "Absolute upper-left Y")
  width=$(client "$w" Width) height=$(client "$w" Height)
  dx=$(((x - left) * 2 + width + left + right - area_x * 2 - area_w))
  dy=$(((y - top) * 2 + height + top + bottom - area_y * 2 - area_h))
  [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ]
}
on_every_desktop() { xprop -id "$1" _NET_WM_DESKTOP | grep -q '= 4294967295$'; }
above_others() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
# show_panel: the shortcut maps the panel, centred, at its size, on every desktop; sets $w.
show_panel() {
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "ctrl+super+l did not map the panel"
  w=$(panel)
  [ "$(client "$w" Width)x$(client "$w" Height)" = 720x480 ] ||
    fail "the panel is $(client "$w" Width)x$(client "$w" Height)"
  wait_for 5 frame_centred "$w" || { frame_centred "$w" || fail "the panel's frame is off centre by ($dx, $dy) / 2"; }
  wait_for 5 on_every_desktop "$w" || fail "the panel is not on every desktop: $(xprop -id "$w" _NET_WM_DESKTOP)"
  above_others "$w" || fail "the panel is not kept above other windows: $(xprop -id "$w" _NET_WM_STATE)"
}
panel_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$w" ]; }

# Moved away, then unmapped: the next show centres it again.
show_panel
wait_for 5 panel_active || fail "the panel did not take the focus"
xdotool windowmove "$w" 10 10
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"
show_panel
wait_for 5 panel_active || fail "the panel did not take the focus"

# Searching selects the link; copying it proves the selection (the search runs in the background).
xdotool type --delay 20 "Panel Check"
copied() {
  xdotool key ctrl+c
  [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$url" ]
}
wait_for 10 copied || fail "the link was not selected (the clipboard holds: $(xclip -o -selection clipboard 2>&1))"

xdotool key ctrl+BackSpace Return
gone() { [ "$(sqlite3 "$library" "SELECT COUNT(*) FROM links WHERE id = '$id'")" = 0 ]; }
wait_for 10 gone || fail "Return with \"Delete Link?\" pending did not delete the link"
panel >/dev/null || fail "confirming the deletion closed the panel"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"

# The window manager's close only hides the panel: the shortcut brings the same window back.
first=$w
show_panel
wait_for 5 panel_active || fail "the panel did not take the focus"
xdotool key alt+F4
wait_for 10 no_panel || fail "closing the panel did not unmap it"
show_panel
[ "$w" = "$first" ] || fail "the panel came back as another window"

# The frame offers closing and moving only: no minimize or maximize in the Motif hints (functions
# and decorations), and no maximize among the window manager's actions (openbox keeps minimize for
# every window whatever the hints say).
read -r _ functions decorations _ < <(xprop -id "$w" _MOTIF_WM_HINTS | sed 's/.*= //; s/,//g')
(( (functions & 0x18) == 0 && (functions & 0x20) != 0 )) || fail "the panel's Motif functions are $functions"
(( (decorations & 0x60) == 0 )) || fail "the panel's Motif decorations are $decorations"
! xprop -id "$w" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE || fail "the panel can be maximized"

# Covered by another window that took the keyboard, the mapped panel is out of the user's sight:
# one press of the shortcut brings it forward with the keyboard instead of hiding it.
open Covering xterm -title Covering
xdotool key ctrl+super+l
wait_for 5 panel_active || fail "the shortcut did not bring the covered panel forward"
[ "$(panel)" = "$w" ] || fail "the covered panel came back as another window"

kill -TERM $app
wait_for 10 app_exited || fail "morvane did not quit on SIGTERM"
[ ! -s "$opened" ] || fail "confirming the deletion opened $(cat "$opened")"
echo "PASS"
