#!/usr/bin/env bash
# Firefox ESR with eight tabs of pages served from 127.0.0.1, the first saved from the quick panel:
# seven times, Ctrl+Tab brings the next tab in front and the panel is opened with Return pressed at
# once. Each time the tab in front now is saved, and the tab saved before is never opened: the panel
# offers nothing read before it came up, and reads which tab shows afresh.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
. "$(dirname "$0")/browser_common.sh"
own_bus "$0" "$@"
start_browser_session firefox-esr "$@"
# What the hot key, the readings and Return did, in the log shown on a failure.
export QT_LOGGING_RULES="morvane.QuickPanel*.debug=true;morvane.BrowserContext.debug=true;morvane.BrowserReadings.debug=true;morvane.HotkeyService.debug=true"
export QT_MESSAGE_PATTERN="%{time HH:mm:ss.zzz} %{category}: %{message}" MORVANE_LOG_PRIVATE=1
start_app_ready
pages="p0 p1 p2 p3 p4 p5 p6 p7"
serve_pages $pages
profile=$E2E_HOME/firefox-profile
firefox_profile "$profile"
urls=()
for page in $pages; do urls+=("$(page_url "$page")"); done
firefox-esr --no-remote --new-instance --profile "$profile" "${urls[@]}" >"$E2E_HOME/firefox.log" 2>&1 &
firefox_window() { xdotool search --name '^P[0-7] Page — Mozilla Firefox$' | head -n 1 | grep .; }
wait_for 40 firefox_window || fail "Firefox did not show a page"
window=$(firefox_window)
activate "$window"
xdotool key --clearmodifiers ctrl+1
titled "P0 Page — Mozilla Firefox" "the first tab"
saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE title = '$1' AND url = '$(page_url "$2")'")" = 1 ]; }
first_saved() { saved "P0 Page" p0; }
opened() { sql "SELECT title FROM links WHERE last_opened_at IS NOT NULL"; }
save_capture first_saved "the first tab"
# step <what>: the script's steps, timed as Morvane's log is.
step() { echo "$(date +%H:%M:%S.%3N) script: $*" >>"$E2E_HOME/steps.log"; }
for round in 1 2 3 4 5 6 7; do
  # Back in Firefox once the panel has gone, as a user is.
  wait_for 10 active_is "$window" || activate "$window"
  step "round $round: ctrl+Tab"
  xdotool key --clearmodifiers ctrl+Tab
  step "round $round: the hot key"
  show_panel
  step "round $round: the panel has the focus; Return"
  xdotool key Return
  wait_for 10 saved "P$round Page" "p$round" ||
    fail "round $round: Return did not save the tab brought in front: saved $(sql "SELECT title FROM links"), opened: $(opened)"
  [ -z "$(opened)" ] || fail "round $round: Return opened a tab saved before: $(opened)"
  # The panel says what it added until Escape.
  ! panel >/dev/null || xdotool key Escape
  wait_for 10 no_panel || fail "round $round: the panel stayed"
done
[ "$(sql "SELECT COUNT(*) FROM links")" = 8 ] || fail "not every tab was saved once: $(sql "SELECT title FROM links")"
echo "PASS"
