#!/usr/bin/env bash
# The application's two global shortcuts on a real X server: ctrl+super+l shows and hides the
# "Morvane" window (Num Lock on or off), ctrl+super+g the graph, which opens centred at its size,
# then leaves the process idle once hidden. With ctrl+super+l held
# by another client from the start, the graph's shortcut still works. SIGINT and SIGHUP quit as
# SIGTERM does, with status 0.
set -euo pipefail
binary=$1
grabber=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

start_app_ready

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
for i in 1 2 3 4 5 6; do add_web_link "00000000-0000-4000-8000-00000000000$i" "Page $i" "https://example.com/$i"; done
for pair in 1:2 2:3 3:4 4:5 5:6 6:1 1:4; do
  sql "INSERT INTO link_relations (id, from_link_id, to_link_id, created_at)
    VALUES ('10000000-0000-4000-8000-0000000000${pair%:*}${pair#*:}', '00000000-0000-4000-8000-00000000000${pair%:*}',
            '00000000-0000-4000-8000-00000000000${pair#*:}', '$stamp')"
done

xdotool key ctrl+super+g
wait_for 10 shown_window "Morvane Graph" || fail "ctrl+super+g did not show the graph"
graph=$(shown_window "Morvane Graph")
size=$(client "$graph" Width)x$(client "$graph" Height)
[ "$size" = 920x640 ] || fail "the graph opened at $size"
# The window manager frames the window after it is mapped, and it is centred again then.
wait_for 5 frame_centred "$graph" || { frame_centred "$graph" || fail "the graph's frame is off centre by ($dx, $dy) / 2"; }

xdotool key ctrl+super+g
wait_for 10 not_shown "Morvane Graph" || fail "ctrl+super+g did not hide the graph"
# Hidden, the graph costs nothing: under 5 clock ticks of CPU in 2 seconds.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
before=$(cpu_ticks)
sleep 2
spent=$(($(cpu_ticks) - before))
[ "$spent" -lt 5 ] || fail "morvane used $spent ticks of CPU in 2 s with the graph hidden"
quit_app INT

# Another client holds ctrl+super+l under every lock state before morvane starts.
"$grabber" 0x44 0x46 0x54 0x56 >"$E2E_HOME/grab.out" 2>&1 &
wait_for 10 grep -qx grabbed "$E2E_HOME/grab.out" || fail "the other client answered: $(cat "$E2E_HOME/grab.out")"
start_app_ready
toggle ctrl+super+g "Morvane Graph"
quit_app HUP
echo "PASS"
