#!/usr/bin/env bash
# The Graph window over a library made with sqlite3, driven with the pointer: a click selects a node
# and brings it to the centre with its selection ring, a drag of the empty canvas moves the drawing
# with the pointer, a right click opens the node's menu and a double click opens the link. Judged by
# the probe's lines and by the pixels on screen.
set -euo pipefail
probe=$1
. "$(dirname "$0")/e2e_common.sh"
MORVANE_E2E_NO_TRAY=1
start_session "$@"

library=$E2E_HOME/library.sqlite
now=2024-05-01T09:30:12.345Z
alpha=A1A1A1A1-0000-4000-8000-000000000001
beta=B2B2B2B2-0000-4000-8000-000000000002
gamma=C3C3C3C3-0000-4000-8000-000000000003
# The library as its first version wrote it; the store adds what later versions need.
sqlite3 "$library" <<SQL
$(first_library_tables)
INSERT INTO links (id, title, url, type, created_at, updated_at) VALUES
  ('$alpha', 'Alpha', 'https://alpha.example/', 'web', '$now', '$now'),
  ('$beta', 'Beta', 'https://beta.example/', 'web', '$now', '$now'),
  ('$gamma', 'Gamma', 'https://gamma.example/', 'web', '$now', '$now');
INSERT INTO link_relations VALUES ('D4D4D4D4-0000-4000-8000-000000000004', '$alpha', '$beta', '$now');
SQL

mkfifo "$E2E_HOME/probe.in"
"$probe" "$library" <"$E2E_HOME/probe.in" >"$E2E_HOME/probe.out" 2>"$E2E_HOME/probe.log" &
exec 3>"$E2E_HOME/probe.in"

said() { grep -qxF "$1" "$E2E_HOME/probe.out"; }
expect() { wait_for 10 said "$1" || fail "expected the probe to print \"$1\"; it printed: $(cat "$E2E_HOME/probe.out")"; }

# Asks the probe where the nodes and the canvas centre are on screen; sets x_<title>, y_<title>,
# cx and cy from its answer.
asked=0
locate() {
  asked=$((asked + 1))
  echo where >&3
  wait_for 10 bash -c '[ "$(grep -c "^centre " "$1")" -ge "$2" ]' _ "$E2E_HOME/probe.out" "$asked" ||
    fail "the probe did not say where its nodes are"
  local kind name x y
  while read -r kind name x y; do
    case $kind in
      node) printf -v "x_$name" %s "$x"; printf -v "y_$name" %s "$y" ;;
    esac
  done < <(grep "^node " "$E2E_HOME/probe.out" | tail -n 3)
  read -r _ cx cy < <(grep "^centre " "$E2E_HOME/probe.out" | tail -n 1)
}

# is_accent <x> <y>: the screen pixel there is the selection accent (the light appearance's blue).
is_accent() {
  local rgb
  rgb=$(import -window root -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '([0-9]*,[0-9]*,[0-9]*' | tr -d '(')
  IFS=, read -r r g b <<<"$rgb"
  [ $((r - 51)) -le 40 ] && [ $((51 - r)) -le 40 ] && [ $((g - 140)) -le 40 ] && [ $((140 - g)) -le 40 ] &&
    [ $((b - 235)) -le 40 ] && [ $((235 - b)) -le 40 ]
}
not_accent() { ! is_accent "$@"; }

expect ready
wait_for 10 xdotool search --onlyvisible --name '^Morvane Graph$' || fail "the Graph window did not appear"
locate
# The ring runs just inside the edge of the 24-pixel disc of a node with one relation.
not_accent $((x_Alpha + 10)) "$y_Alpha" || fail "Alpha is drawn selected before any click"

xdotool mousemove "$x_Alpha" "$y_Alpha" click 1
expect "selected Alpha"
wait_for 10 is_accent $((cx + 10)) "$cy" || fail "the clicked node is not drawn selected at the centre"

# A drag that starts on empty canvas below the centre moves the whole drawing by as much.
xdotool mousemove "$cx" $((cy + 150)) mousedown 1
xdotool mousemove $((cx + 20)) $((cy + 150)) mousemove $((cx + 60)) $((cy + 150)) \
  mousemove $((cx + 100)) $((cy + 150)) mouseup 1
wait_for 10 is_accent $((cx + 110)) "$cy" || fail "the drawing did not follow the drag"
not_accent $((cx + 10)) "$cy" || fail "the selected node is still drawn at the centre after the drag"

locate
xdotool mousemove "$x_Beta" "$y_Beta" click 3
wait_for 10 grep -q '^menu Open|Link from Here|.*Remove Relation|Delete Link$' "$E2E_HOME/probe.out" ||
  fail "no node menu: $(grep '^menu' "$E2E_HOME/probe.out")"
xdotool key Escape
expect "menu closed"

xdotool mousemove "$x_Gamma" "$y_Gamma" click --repeat 2 --delay 80 1
expect "opened Gamma"
echo "PASS"
