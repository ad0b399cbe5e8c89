#!/usr/bin/env bash
# The application's two global shortcuts on a real X server: ctrl+super+l shows and hides the
# "Morvane" window (Num Lock on or off), ctrl+super+g the graph, which opens centred at its size and
# animates its layout while shown, then leaves the process idle once hidden. With ctrl+super+l held
# by another client from the start, the graph's shortcut still works. SIGINT and SIGHUP quit as
# SIGTERM does, with status 0.
set -euo pipefail
binary=$1
grabber=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
start_app
wait_for 15 tray_window || fail "no tray icon appeared"
wait_for 5 sqlite3 "$library" "SELECT COUNT(*) FROM links" || fail "no library at $library"

# Windows of ours with this exact title, mapped; the tray icon (also "Morvane") is too small to count.
shown_window() {
  local w
  for w in $(xdotool search --onlyvisible --class '^morvane$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] || continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -lt 100 ] || { echo "$w"; return 0; }
  done
  return 1
}
not_shown() { ! shown_window "$1"; }
# toggle <keys> <title>: the shortcut shows the window, and again hides it.
toggle() {
  xdotool key "$1"
  wait_for 10 shown_window "$2" || fail "$1 did not show \"$2\""
  xdotool key "$1"
  wait_for 10 not_shown "$2" || fail "$1 did not hide \"$2\""
}

toggle ctrl+super+l Morvane
xdotool key Num_Lock
toggle ctrl+super+l Morvane
xdotool key Num_Lock

# A few related links, written while the application runs: the graph reads the library when shown.
stamp=2024-05-01T09:30:12.345Z
for i in 1 2 3 4 5 6; do
  sqlite3 "$library" "INSERT INTO links (id, title, url, type, created_at, updated_at)
    VALUES ('00000000-0000-4000-8000-00000000000$i', 'Page $i', 'https://example.com/$i', 'web', '$stamp', '$stamp')"
done
for pair in 1:2 2:3 3:4 4:5 5:6 6:1 1:4; do
  sqlite3 "$library" "INSERT INTO link_relations (id, from_link_id, to_link_id, created_at)
    VALUES ('10000000-0000-4000-8000-0000000000${pair%:*}${pair#*:}', '00000000-0000-4000-8000-00000000000${pair%:*}',
            '00000000-0000-4000-8000-00000000000${pair#*:}', '$stamp')"
done

xdotool key ctrl+super+g
wait_for 10 shown_window "Morvane Graph" || fail "ctrl+super+g did not show the graph"
graph=$(shown_window "Morvane Graph")
# The client's place on the screen (xdotool counts the frame's offset twice).
client() { xwininfo -id "$graph" | sed -n "s/^ *$1: *//p"; }
x=$(client "Absolute upper-left X") y=$(client "Absolute upper-left Y")
width=$(client Width) height=$(client Height)
[ "$width" -eq 920 ] && [ "$height" -eq 640 ] || fail "the graph opened at ${width}x$height"
# The frame's centre is the work area's, to a pixel of rounding; the window manager frames the
# window after it is mapped, and it is centred again then.
framed_centre_offset() {
  local left right top bottom area_x area_y area_w area_h
  read -r left right top bottom < <(xprop -id "$graph" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  read -r area_x area_y area_w area_h < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4)
  x=$(client "Absolute upper-left X") y=$(client "Absolute upper-left Y")
  dx=$(((x - left) * 2 + width + left + right - area_x * 2 - area_w))
  dy=$(((y - top) * 2 + height + top + bottom - area_y * 2 - area_h))
  [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ]
}
wait_for 5 framed_centre_offset || { framed_centre_offset || fail "the graph's frame is off centre by ($dx, $dy) / 2"; }

# The layout moves the nodes while the graph shows.
import -window "$graph" "$E2E_HOME/first.png"
sleep 0.5
import -window "$graph" "$E2E_HOME/second.png"
changed=$(compare -metric AE "$E2E_HOME/first.png" "$E2E_HOME/second.png" null: 2>&1 || true)
[ "${changed%% *}" != 0 ] || fail "the graph did not change in half a second"

xdotool key ctrl+super+g
wait_for 10 not_shown "Morvane Graph" || fail "ctrl+super+g did not hide the graph"
# Hidden, the graph costs nothing: under 5 clock ticks of CPU in 2 seconds.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
before=$(cpu_ticks)
sleep 2
spent=$(($(cpu_ticks) - before))
[ "$spent" -lt 5 ] || fail "morvane used $spent ticks of CPU in 2 s with the graph hidden"
kill -INT $app
wait_for 10 app_exited || fail "morvane did not quit on SIGINT"
wait $app || fail "morvane exited with status $? on SIGINT"

# Another client holds ctrl+super+l under every lock state before morvane starts.
"$grabber" 0x44 0x46 0x54 0x56 >"$E2E_HOME/grab.out" 2>&1 &
wait_for 10 grep -qx grabbed "$E2E_HOME/grab.out" || fail "the other client answered: $(cat "$E2E_HOME/grab.out")"
start_app
wait_for 15 tray_window || fail "no tray icon appeared on the second start"
toggle ctrl+super+g "Morvane Graph"
kill -HUP $app
wait_for 10 app_exited || fail "morvane did not quit on SIGHUP"
wait $app || fail "morvane exited with status $? on SIGHUP"
echo "PASS"
