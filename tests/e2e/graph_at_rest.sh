#!/usr/bin/env bash
# The Graph window over a thousand links left to its layout: it comes to rest, and at rest the screen
# stays the same and the process all but idles; a click on a node glides it to the centre, where a
# right click opens its menu; dragging a node sets the layout going and it comes to rest again.
set -euo pipefail
probe=$1
. "$(dirname "$0")/e2e_common.sh"
MORVANE_E2E_NO_TRAY=1
start_session "$@"

library=$E2E_HOME/library.sqlite
now=2024-05-01T09:30:12.345Z
# A thousand links and five hundred relations between links picked by a fixed rule, some twice.
sqlite3 "$library" <<SQL
$(first_library_tables)
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999)
INSERT INTO links (id, title, url, type, created_at, updated_at)
  SELECT printf('A0000000-0000-4000-8000-%012d', i), 'Link' || i, 'https://site' || i || '.example/', 'web',
         '$now', '$now' FROM n;
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 499)
INSERT OR IGNORE INTO link_relations
  SELECT printf('B0000000-0000-4000-8000-%012d', i), printf('A0000000-0000-4000-8000-%012d', (i * 7919) % 1000),
         printf('A0000000-0000-4000-8000-%012d', (i * 104729 + 13) % 1000), '$now' FROM n
  WHERE (i * 7919) % 1000 != (i * 104729 + 13) % 1000;
SQL

mkfifo "$E2E_HOME/probe.in"
"$probe" "$library" --free <"$E2E_HOME/probe.in" >"$E2E_HOME/probe.out" 2>"$E2E_HOME/probe.log" &
probe_pid=$!
exec 3>"$E2E_HOME/probe.in"

count() { grep -cxF "$1" "$E2E_HOME/probe.out" || true; }
# wait_until_said <seconds> <line> <times>: the probe has printed the line at least that many times.
wait_until_said() {
  wait_for "$1" bash -c '[ "$(grep -cxF "$2" "$1")" -ge "$3" ]' _ "$E2E_HOME/probe.out" "$2" "$3"
}

# The pointer out of the way, so that no tooltip comes and goes.
xdotool mousemove 1 1
wait_for 20 xdotool search --onlyvisible --name '^Morvane Graph$' || fail "the Graph window did not appear"
start=$SECONDS
wait_until_said 60 settled 1 || fail "the layout did not come to rest"
echo "settled after about $((SECONDS - start)) s"

# At rest: the same pixels a second apart, and the process's time on the processor over ten seconds
# under half a percent of one core.
import -window root "$E2E_HOME/first.png"
sleep 1
import -window root "$E2E_HOME/second.png"
differing=$(compare -metric AE "$E2E_HOME/first.png" "$E2E_HOME/second.png" null: 2>&1 || true)
[ "$differing" = 0 ] || fail "the screen changed at rest: $differing pixels"
ticks() { awk '{ print $14 + $15 }' "/proc/$probe_pid/stat"; }
before=$(ticks)
sleep 10
after=$(ticks)
hz=$(getconf CLK_TCK)
# Half a percent of ten seconds is five hundredths of a second.
used=$(((after - before) * 100 / hz))
echo "processor time at rest over 10 s: $used hundredths of a second"
[ "$used" -lt 5 ] || fail "the window used $used hundredths of a second in 10 s at rest"
[ "$(count moving)" = 0 ] || fail "the layout moved while nothing happened"

# A click on a node selects it and glides it to the centre (where the layout, woken, may move it on a
# little); where it comes to rest a right click opens its menu.
echo lonely >&3
wait_for 10 grep -q '^lonely ' "$E2E_HOME/probe.out" || fail "the probe did not name a node"
read -r _ title x y < <(grep '^lonely ' "$E2E_HOME/probe.out" | tail -n 1)
xdotool mousemove "$x" "$y" click 1
wait_for 10 grep -qxF "selected $title" "$E2E_HOME/probe.out" || fail "the click did not select $title"
wait_until_said 30 settled 2 || fail "the layout did not come to rest after the click"
echo where >&3
wait_for 10 grep -q '^centre ' "$E2E_HOME/probe.out" || fail "the probe did not say where the centre is"
read -r _ cx cy < <(grep '^centre ' "$E2E_HOME/probe.out" | tail -n 1)
read -r _ _ nx ny < <(grep "^node $title " "$E2E_HOME/probe.out" | tail -n 1)
[ $(((nx - cx) * (nx - cx) + (ny - cy) * (ny - cy))) -lt 10000 ] ||
  fail "$title ended at $nx,$ny, far from the centre $cx,$cy"
xdotool mousemove "$nx" "$ny" click 3
wait_for 10 grep -q '^menu Open|Link from Here|' "$E2E_HOME/probe.out" || fail "no menu for the centred node"
xdotool key Escape
wait_for 10 grep -qxF "menu closed" "$E2E_HOME/probe.out" || fail "the menu did not close"

# Dragging the node sets the layout going; let go, it comes to rest again.
moving=$(count moving)
xdotool mousemove "$nx" "$ny" mousedown 1
xdotool mousemove $((nx + 20)) "$ny" mousemove $((nx + 60)) $((ny + 30)) mousemove $((nx + 90)) $((ny + 40)) mouseup 1
wait_for 10 bash -c '[ "$(grep -cxF moving "$1")" -gt "$2" ]' _ "$E2E_HOME/probe.out" "$moving" ||
  fail "dragging did not wake the layout"
wait_until_said 30 settled 3 || fail "the layout did not come to rest after the drag"
echo "PASS"
