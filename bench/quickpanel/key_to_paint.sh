#!/usr/bin/env bash
# Key presses in the quick panel, to painted rows, on a generated library of LINKS links (default
# 100,000), under Xvfb, beside the same measure on a plain Qt window whose label changes on each key.
#
#   key_to_paint.sh <morvane> <make_bench_library> <key_to_paint> <bare_key_window>
#
# key_to_paint sends each key through the X server and times it to other pixels in the lower part of
# the window (the panel's rows, below the query field), woken by the server's damage notices: what is
# left of the measure's own cost is one X round trip and one image, which the plain window's figure
# (the floor) shows. In each of RUNS openings (default 7): the first key after the panel opens, the
# same key again after a Backspace, the Down key four times (a repaint with no search), and three
# two-letter texts typed key by key, the second key matching few rows or none; the plain window gets
# as many keys after each opening, so that both share the machine's load. Medians are printed.
# Then STARTS fresh starts (default 5): in each, the first key after start (the panel opened by its
# shortcut; key_to_paint sends the key once the rows have rested 150 ms), the same key three times
# more, and the first key after the panel was hidden and shown again.
# A key typed at once after the shortcut, with no rest: sent the moment the panel maps, and 20 ms after
# the shortcut, timed from the key to the rows' rest, in each opening (the panel shown again) and over
# 2 x STARTS more fresh starts (the first show after a start, one of each), and once as the panel
# first maps on the new library, at once after the first start (the texts for short searches not yet
# read by anything). Each must rest at the rows the same key gives at rest (the first key after
# opening): the count of those that did is printed beside the figures.
# MORVANE_BENCH_SMOKE=1 makes it one opening on a tiny library, to keep it working.
set -euo pipefail
morvane=$1 make_library=$2 key_to_paint=$3 bare_window=$4
# shellcheck disable=SC2034 # e2e_common.sh names
binary=$morvane # e2e_common.sh names the program under test so
. "$(dirname "$0")/../../tests/e2e/e2e_common.sh"
start_session "$@"

if [ "${MORVANE_BENCH_SMOKE:-}" = 1 ]; then
  runs=1 links=100 starts=1
else
  runs=${RUNS:-7} links=${LINKS:-100000} starts=${STARTS:-5}
fi
mkdir -p "$XDG_DATA_HOME/Morvane"
chmod 700 "$XDG_DATA_HOME/Morvane"
"$make_library" "$XDG_DATA_HOME/Morvane/Morvane.sqlite" "$links" || fail "could not generate the library"

# press <window> <key>: milliseconds from the key to other pixels below the window's top third
press() {
  "$key_to_paint" "$1" "$2" 2>>"$E2E_HOME/key_to_paint.log" || {
    import -window root "${TMPDIR:-/tmp}/key_to_paint_failed.png" || true
    fail "no other pixels after the key $2"
  }
}

"$bare_window" >"$E2E_HOME/bare_window.log" 2>&1 &
wait_for 10 xdotool search --onlyvisible --name '^Bare key window$' || fail "the plain window did not show"
bare=$(xdotool search --onlyvisible --name '^Bare key window$' | head -1)
start_app
wait_for 60 tray_window || fail "no tray icon"
declare -A firsts lasts matching digests
reference=
# measure <what> <window> <key>: adds the key's figures to those of <what>
measure() {
  local answer first last digest
  answer=$(press "$2" "$3")
  read -r first last digest <<<"$answer"
  firsts[$1]+=" $first"
  lasts[$1]+=" $last"
  [ "$1" != first ] || reference=${reference:-$digest}
}
# instant <what> <map|milliseconds>: shows the panel by its shortcut and types r with no rest before it,
# then hides the panel
instant() {
  local answer first last digest
  answer=$("$key_to_paint" --show "$2" r 2>>"$E2E_HOME/key_to_paint.log") ||
    fail "no rows after r typed at once after the shortcut"
  read -r first last digest <<<"$answer"
  firsts[$1]+=" $first"
  lasts[$1]+=" $last"
  digests[$1]+=" $digest"
  wait_for 5 panel || fail "no panel after the shortcut"
  xdotool key Escape
  wait_for 10 no_panel || fail "the panel did not close"
}
instant firstever map
for _ in $(seq "$runs"); do
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "the panel did not open"
  window=$(panel)
  wait_for 5 test "$(xdotool getactivewindow 2>/dev/null)" = "$window" || fail "the panel did not take the focus"
  measure first "$window" r
  # The same key again once the query is empty again: the same search, no longer the first.
  press "$window" BackSpace >/dev/null
  measure next "$window" r
  # A key that repaints the rows without a search (the selection moves).
  for _ in 1 2 3 4; do
    measure down "$window" Down
  done
  press "$window" BackSpace >/dev/null
  for pair in "z q" "x j" "q x"; do
    read -r one two <<<"$pair"
    measure single "$window" "$one"
    measure second "$window" "$two"
    press "$window" BackSpace >/dev/null
    press "$window" BackSpace >/dev/null
  done
  xdotool key Escape
  wait_for 10 no_panel || fail "the panel did not close"
  instant showmap map
  instant show20 20

  xdotool windowactivate --sync "$bare"
  for key in r BackSpace Down Down z q x; do
    measure floor "$bare" "$key"
  done
done

# open_panel: shows the panel by its shortcut and sets $window once it has the keyboard
open_panel() {
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "the panel did not open"
  window=$(panel)
  wait_for 5 test "$(xdotool getactivewindow 2>/dev/null)" = "$window" || fail "the panel did not take the focus"
}
for _ in $(seq "$starts"); do
  quit_app
  start_app
  wait_for 60 tray_window || fail "no tray icon"
  open_panel
  measure afterstart "$window" r
  for _ in 1 2 3; do
    press "$window" BackSpace >/dev/null
    measure later "$window" r
  done
  xdotool key Escape
  wait_for 10 no_panel || fail "the panel did not close"
  open_panel
  measure aftershow "$window" r
  xdotool key Escape
  wait_for 10 no_panel || fail "the panel did not close"
done
for _ in $(seq "$starts"); do
  for when in map 20; do
    quit_app
    start_app
    wait_for 60 tray_window || fail "no tray icon"
    instant "start$when" "$when"
  done
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# report <what> <title>: the medians of the last and the first change, and every last one
report() {
  local last first
  read -ra last <<<"${lasts[$1]}"
  read -ra first <<<"${firsts[$1]}"
  echo "$2: median $(median "${last[@]}") ms to rest, $(median "${first[@]}") ms to the first change, of ${#last[@]} keys (${last[*]})"
}
# report_instant <what> <title>: the median to rest, and how many rested at the rows of the key at rest
report_instant() {
  local last digest
  read -ra last <<<"${lasts[$1]}"
  for digest in ${digests[$1]}; do
    [ "$digest" != "$reference" ] || matching[$1]=$((${matching[$1]:-0} + 1))
  done
  echo "$2: median $(median "${last[@]}") ms to rest, of ${#last[@]} keys (${last[*]}); the rows of r at rest in ${matching[$1]:-0}"
}
echo "links=$links openings=$runs load: $(cut -d' ' -f1-3 /proc/loadavg)"
report first "first key after opening"
report next "the same key again"
report single "one-letter texts (z, x, q)"
report second "two-letter texts (zq, xj, qx)"
report down "Down"
report floor "floor: a plain Qt window's label"
report afterstart "first key after start"
report later "later keys in the same starts"
report aftershow "first key after hiding and showing again"
report_instant firstever "r as the panel first maps on a new library, at once after the first start"
report_instant showmap "r as the panel maps, shown again"
report_instant show20 "r 20 ms after the shortcut, shown again"
report_instant startmap "r as the panel maps, first show after a start"
report_instant start20 "r 20 ms after the shortcut, first show after a start"
