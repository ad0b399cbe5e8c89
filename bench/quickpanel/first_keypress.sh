#!/usr/bin/env bash
# The first key press after the quick panel opens, to painted rows, against the same key pressed again in
# the same opening (after a Backspace), on a generated library of LINKS links (default 100,000), under Xvfb.
#
#   first_keypress.sh <morvane> <make_bench_library>
#
# A key press is timed from sending it to the lower part of the panel (its rows, below the query field)
# showing other pixels, polled by capturing that part; a capture takes a few tens of milliseconds, so
# the figures carry up to one capture of delay. Medians of RUNS openings (default 5) are printed, and of
# the keys of three two-letter texts typed in each opening.
# MORVANE_BENCH_SMOKE=1 makes it one opening on a tiny library, to keep it working.
set -euo pipefail
morvane=$1 make_library=$2
binary=$morvane # e2e_common.sh names the program under test so
. "$(dirname "$0")/../../tests/e2e/e2e_common.sh"
start_session "$@"

if [ "${MORVANE_BENCH_SMOKE:-}" = 1 ]; then
  runs=1 links=100
else
  runs=${RUNS:-5} links=${LINKS:-100000}
fi
mkdir -p "$XDG_DATA_HOME/Morvane"
chmod 700 "$XDG_DATA_HOME/Morvane"
"$make_library" "$XDG_DATA_HOME/Morvane/Morvane.sqlite" "$links" || fail "could not generate the library"

now_ns() { date +%s%N; }
rows_of() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -silent -window "$1" -crop "${WIDTH}x$((HEIGHT * 2 / 3))+0+$((HEIGHT / 3))" rgb:- | md5sum
}
# The rows' pixels once two captures in a row agree.
settled_rows() {
  local last="" current i
  for i in $(seq 100); do
    current=$(rows_of "$1")
    [ "$current" != "$last" ] || break
    last=$current
  done
  echo "$current"
}
# press <window> <key>: milliseconds from the key to other rows
press() {
  local before started
  before=$(settled_rows "$1")
  started=$(now_ns)
  xdotool key "$2"
  until [ "$(rows_of "$1")" != "$before" ]; do
    if [ $(($(now_ns) - started)) -gt 10000000000 ]; then
      import -window root "${TMPDIR:-/tmp}/first_keypress_failed.png" || true
      fail "no rows 10 s after the key $2"
    fi
  done
  echo $((($(now_ns) - started) / 1000000))
}

start_app
wait_for 60 tray_window || fail "no tray icon"
first=() next=() typed=() floor=()
for run in $(seq "$runs"); do
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "the panel did not open"
  window=$(panel)
  first+=("$(press "$window" r)")
  # The same key again once the query is empty again: the same search, no longer the first.
  press "$window" BackSpace >/dev/null
  next+=("$(press "$window" r)")
  # The floor of this measurement: a key that repaints the rows without a search (the selection moves).
  floor+=("$(press "$window" Down)")
  # Texts of one and two characters typed key by key into the emptied field, the second key matching
  # few rows or none.
  press "$window" BackSpace >/dev/null
  for pair in "z q" "x j" "q x"; do
    for key in $pair; do
      typed+=("$(press "$window" "$key")")
      echo "key $key: ${typed[-1]} ms" >&2
    done
    press "$window" BackSpace >/dev/null
    press "$window" BackSpace >/dev/null
  done
  xdotool key Escape
  wait_for 10 no_panel || fail "the panel did not close"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "links=$links openings=$runs first key press: ${first[*]} ms (median $(median "${first[@]}")); next: ${next[*]} ms (median $(median "${next[@]}"))"
echo "keys of z-q, x-j, q-x: ${typed[*]} ms (median $(median "${typed[@]}")); the Down key: ${floor[*]} ms (median $(median "${floor[@]}"))"
