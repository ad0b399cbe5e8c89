#!/usr/bin/env bash
# Resident memory of the application after it replaced its library with a backup of the same size
# through Preferences, beside a fresh start on the same library.
#
#   import_resident.sh <morvane> <replace_resident>
#
# replace_resident makes the backup and a library holding it (LINKS links, default 100,000) and prints
# the same measure for a bare process with no window. Then each of RUNS runs (default 3) starts
# Morvane on a copy of that library in a home of its own and reads VmRSS once it has stopped changing:
#   fresh    after the start, before any window of ours was shown;
#   window   after Preferences was opened on its Advanced page and closed again;
#   imported after the library was replaced from the backup (Import Library…, the file typed into the
#            dialog, "Replace Local Library", "Replace") and the window closed.
# The medians are printed with imported / fresh, which the budget bounds at 1.5, and imported /
# window, the import's own share. MORVANE_BENCH_SMOKE=1 makes it one run on a tiny library.
set -euo pipefail
morvane=$1 replace_resident=$2
binary=$morvane # e2e_common.sh names the program under test so
. "$(dirname "$0")/../../tests/e2e/e2e_common.sh"
start_session "$@"

if [ "${MORVANE_BENCH_SMOKE:-}" = 1 ]; then
  runs=1 links=100
else
  runs=${RUNS:-3} links=${LINKS:-100000}
fi
made=$E2E_HOME/made
"$replace_resident" "$made" "$links" || fail "could not make the backup and its library"
fresh_library() {
  mkdir -p "$(dirname "$library")"
  chmod 700 "$(dirname "$library")"
  rm -f "$library" "$library-wal" "$library-shm"
  cp "$made/library.sqlite" "$library"
}

. "$(dirname "$0")/resident.sh"

# The Preferences window's Advanced page (the sidebar's last section); sets x and y to its corner.
open_advanced() {
  open_preferences
  window=$(shown_window "Morvane Preferences")
  x=$(client "$window" "Absolute upper-left X") y=$(client "$window" "Absolute upper-left Y")
  xdotool mousemove $((x + 78)) $((y + 295)) click 1
}
close_preferences() {
  activate "$window"
  xdotool key alt+F4
  wait_for 10 not_shown "Morvane Preferences" || fail "the Preferences window did not close"
}
# A replacing import empties the journal of changes and notes one change of everything, under a new
# number.
last_change() { sql "SELECT max(seq) FROM library_changes"; }
replaced() { [ "$(last_change)" != "$before" ] && [ "$(sql "SELECT COUNT(*) FROM links")" = "$links" ]; }

run_once() {
  fresh_library
  start_app_ready
  local fresh windowed imported
  fresh=$(settled_rss "$app")
  open_advanced
  close_preferences
  windowed=$(settled_rss "$app")
  before=$(last_change)
  open_advanced
  # Import Library… on the Backup card; the dialog's file name field has the keyboard.
  xdotool mousemove $((x + 446)) $((y + 140)) click 1
  wait_for 10 shown_window "Import" || fail "Import Library… showed no file dialog"
  xdotool type --delay 10 "$made/backup.json"
  xdotool key Return
  # The first question's buttons: Merge, Replace Local Library, Cancel; the second asks again.
  wait_for 60 dialog_window || fail "no question came for the backup"
  first=$(dialog_window)
  activate "$first"
  xdotool key Tab space
  second() { [ "$(dialog_window)" != "$first" ] && dialog_window >/dev/null; }
  wait_for 10 second || fail "no second question"
  activate "$(dialog_window)"
  xdotool key alt+r
  wait_for 300 replaced || fail "the library was not replaced"
  close_preferences
  imported=$(settled_rss "$app")
  quit_app
  echo "$fresh $windowed $imported"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
fresh_all="" window_all="" imported_all=""
for run in $(seq "$runs"); do
  read -r f w i <<<"$(run_once)"
  echo "run $run: fresh $f kB, Preferences opened and closed $w kB, after the replacing import $i kB"
  fresh_all+="$f " window_all+="$w " imported_all+="$i "
done
f=$(tr ' ' '\n' <<<"$fresh_all" | grep . | median)
w=$(tr ' ' '\n' <<<"$window_all" | grep . | median)
i=$(tr ' ' '\n' <<<"$imported_all" | grep . | median)
printf 'links %s  medians: fresh %s kB  window %s kB  imported %s kB  imported/fresh %.2f  imported/window %.2f\n' \
  "$links" "$f" "$w" "$i" "$(awk -v a="$i" -v b="$f" 'BEGIN { print a / b }')" \
  "$(awk -v a="$i" -v b="$w" 'BEGIN { print a / b }')"
echo "budget: resident after a replacing import <= 1.5x a fresh start on the same library"
