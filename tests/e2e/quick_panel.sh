#!/usr/bin/env bash
# The quick panel on a real X server: ctrl+super+l maps a 720 × 480 "Morvane" window whose frame is
# centred on the screen, above other windows and on every desktop; Escape unmaps it and the shortcut
# maps it centred again after it was moved. The keyboard's compose table is read as the panel first takes
# the keyboard, before any key; hidden, the panel keeps no image of itself in memory shared with the X
# server, asks for no absurd one either (the address space stays under 2 GB), and shown again it paints. With "Delete Link?" pending, Return deletes the selected
# link from the library and opens nothing. Its frame offers closing only, at a fixed size, and the
# shortcut hides the panel while another window has the keyboard. Keys typed at once after the
# shortcut reach the panel.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
use_stand_in_browser

# Qt says when it reads the compose table; the panel, what its search field holds.
export QT_LOGGING_RULES="qt.xkb.compose.debug=true;morvane.QuickPanel.debug=true" MORVANE_LOG_PRIVATE=1
start_app_ready
id=E5E5E5E5-0000-4000-8000-000000000005
url=https://example.com/panel-e2e
add_web_link "$id" "Panel Check Page" "$url"

on_every_desktop() { xprop -id "$1" _NET_WM_DESKTOP | grep -q '= 4294967295$'; }
above_others() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
# show_panel: the shortcut maps the panel, centred, at its size, on every desktop, focused; sets $w.
show_panel() {
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "ctrl+super+l did not map the panel"
  w=$(panel)
  [ "$(client "$w" Width)x$(client "$w" Height)" = 720x480 ] ||
    fail "the panel is $(client "$w" Width)x$(client "$w" Height)"
  wait_for 5 frame_centred "$w" || { frame_centred "$w" || fail "the panel's frame is off centre by ($dx, $dy) / 2"; }
  wait_for 5 on_every_desktop "$w" || fail "the panel is not on every desktop: $(xprop -id "$w" _NET_WM_DESKTOP)"
  above_others "$w" || fail "the panel is not kept above other windows: $(xprop -id "$w" _NET_WM_STATE)"
  wait_for 5 panel_active || fail "the panel did not take the focus"
}

# Moved away, then unmapped: the next show centres it again.
show_panel
compose_read() { grep -q "detected locale" "$E2E_HOME/morvane.log"; }
wait_for 5 compose_read || fail "the compose table was not read before the first key"
xdotool windowmove "$w" 10 10
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"
show_panel

# The window's image in shared memory (an X server's file or a System V segment), in kB, of 1 MB or more.
window_images() {
  local range rest
  while read -r range rest; do
    case $rest in *memfd:xorg* | *SYSV*) ;; *) continue ;; esac
    local kb=$(((16#${range#*-} - 16#${range%-*}) / 1024))
    [ "$kb" -lt 1024 ] || echo "$kb"
  done <"/proc/$app/maps"
}
[ -n "$(window_images)" ] || fail "the shown panel's image is not in shared memory: the check below sees nothing"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"
no_window_image() { [ -z "$(window_images)" ]; }
wait_for 5 no_window_image || fail "the hidden panel keeps its image of $(window_images) kB"
show_panel
painted() { [ "$(import -window "$w" png:- | identify -format %k -)" -gt 16 ]; }
wait_for 5 painted || fail "the panel shown again is not painted"
# A third hide and show: no hide asks the X server for an absurd image, and the address space stays
# that of a tray application (an image of 65535 × 65535 pixels would take 16 GB of it).
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"
show_panel
wait_for 5 painted || fail "the panel shown a third time is not painted"
! grep -F "xcb_shm" "$E2E_HOME/morvane.log" || fail "hiding the panel asked for an absurd image"
peak=$(awk '/^VmPeak:/ {print $2}' "/proc/$app/status")
[ "$peak" -lt $((2 * 1024 * 1024)) ] || fail "the address space peaked at $peak kB after three hides"

# Searching selects the link; copying it proves the selection (the search runs in the background).
# Typed at once after the shortcut, before the panel has mapped and taken the keyboard, the text still
# reaches it whole, from the window in front as from none.
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"
xdotool key --delay 0 ctrl+super+l type --delay 1 "Panel Check"
wait_for 10 panel || fail "ctrl+super+l did not map the panel"
w=$(panel)
whole_text() { [ "$(typed_search)" = '"Panel Check"' ]; }
wait_for 10 whole_text || fail "\"Panel Check\" typed at once after the shortcut reached the panel as $(typed_search)"
wait_for 10 copies "$url" ||
  fail "\"Panel Check\" typed at once after the shortcut did not select $url (the clipboard holds: $(clipboard))"

xdotool key ctrl+BackSpace Return
gone() { [ "$(sql "SELECT COUNT(*) FROM links WHERE id = '$id'")" = 0 ]; }
wait_for 10 gone || fail "Return with \"Delete Link?\" pending did not delete the link"
panel >/dev/null || fail "confirming the deletion closed the panel"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not unmap the panel"

# The window manager's close only hides the panel: the shortcut brings the same window back.
first=$w
show_panel
xdotool key alt+F4
wait_for 10 no_panel || fail "closing the panel did not unmap it"
show_panel
[ "$w" = "$first" ] || fail "the panel came back as another window"

# The frame offers closing and moving only, at a fixed size: the Motif hints name moving and closing
# and no resizing, minimising or maximising (functions), a title and a border without resize handles or
# buttons but close (decorations); the minimum size is the maximum; and openbox, which no Motif hint
# keeps from adding its minimise button, offers neither minimising nor maximising nor resizing.
read -r _ functions decorations _ < <(xprop -id "$w" _MOTIF_WM_HINTS | sed 's/.*= //; s/,//g')
(( (functions & 0x1b) == 0 && (functions & 0x24) == 0x24 )) || fail "the panel's Motif functions are $functions"
(( (decorations & 0x65) == 0 && (decorations & 0x0a) == 0x0a )) || fail "the panel's Motif decorations are $decorations"
size_hints=$(xprop -id "$w" WM_NORMAL_HINTS)
grep -q 'minimum size: 720 by 480' <<<"$size_hints" && grep -q 'maximum size: 720 by 480' <<<"$size_hints" ||
  fail "the panel's size is not fixed: $size_hints"
actions=$(xprop -id "$w" _NET_WM_ALLOWED_ACTIONS)
grep -q _NET_WM_ACTION_CLOSE <<<"$actions" && ! grep -Eq 'MINIMIZE|MAXIMIZE|RESIZE' <<<"$actions" ||
  fail "the window manager offers $actions"

# Another window that takes the keyboard leaves the panel, kept above it, in the user's sight: one
# press of the shortcut hides it, and the next brings the same window forward with the keyboard.
open Covering xterm -title Covering
panel >/dev/null || fail "the panel went away when another window took the keyboard"
xdotool key ctrl+super+l
wait_for 10 no_panel || fail "the shortcut did not hide the panel that another window had the keyboard over"
xdotool key ctrl+super+l
wait_for 10 panel || fail "the shortcut did not show the panel again"
[ "$(panel)" = "$w" ] || fail "the panel came back as another window"
wait_for 5 panel_active || fail "the panel shown again did not take the keyboard"

quit_app
[ ! -s "$opened" ] || fail "confirming the deletion opened $(cat "$opened")"
echo "PASS"
