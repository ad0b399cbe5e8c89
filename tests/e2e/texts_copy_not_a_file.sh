#!/usr/bin/env bash
# Whatever is found at the path of the links' texts kept beside the library for short searches, the
# panel's one-letter search answers and Morvane quits: with a FIFO there that nothing writes to, typing
# "q" selects the one link holding it, the reason is logged once, a copy of our own takes the FIFO's
# place, and `morvane --quit` ends the process within a few seconds with status 0; a start after it
# takes that copy and finds the link again.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

start_app_ready
add_web_link 9A5C3A1E-7D42-4B8E-9F10-2C6D8E4B7A11 "Quince notes" "https://quince.example/notes"
"$binary" --quit || fail "morvane --quit failed"
wait_for 10 app_exited || fail "morvane did not quit"

rm -f "$library.texts"
mkfifo "$library.texts"
start_app_ready
show_panel
select_by_typing q "https://quince.example/notes"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not hide the panel"
wait_for 10 test -f "$library.texts" || fail "no copy of the texts took the FIFO's place"
[ "$(grep -c "what is kept beside it for searches is not a regular file" "$E2E_HOME/morvane.log")" -eq 1 ] ||
  fail "the FIFO was not logged once"

started=$EPOCHREALTIME
"$binary" --quit || fail "morvane --quit failed"
wait_for 5 app_exited || fail "morvane was still running 5 s after --quit"
wait "$app" || fail "morvane exited with status $?"
echo "quit in $(echo "($EPOCHREALTIME - $started) * 1000 / 1" | bc) ms"

start_app_ready
show_panel
select_by_typing q "https://quince.example/notes"
quit_app
