#!/usr/bin/env bash
# Records what Firefox shows on the accessibility bus with two tabs open, once with the first tab in
# front and once just after Ctrl+Tab brought the second in front, into the JSON trees the unit tests
# replay, on an X server and session bus of the script's own:
#   tests/capture/trees/record_firefox_tabs.sh BUILD-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
data=$(cd "$(dirname "$0")" && pwd)
e2e=$data/../../e2e
[ -n "${MORVANE_E2E_OWN_BUS:-}" ] || MORVANE_E2E_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
. "$e2e/e2e_common.sh"
. "$e2e/browser_common.sh"
MORVANE_E2E_NO_TRAY=1 start_browser_session firefox-esr
recorder=$build/tests/e2e/a11y_record
serve_pages first second
profile=$E2E_HOME/firefox-profile
firefox_profile "$profile"
firefox-esr --no-remote --new-instance --profile "$profile" "$(page_url first)" >"$E2E_HOME/firefox.log" 2>&1 &
titled "First Page — Mozilla Firefox" "the first page"
activate "$(window_titled "First Page — Mozilla Firefox")"
xdotool key --clearmodifiers ctrl+t
type_url "$(page_url second)"
titled "Second Page — Mozilla Firefox" "the second page"
xdotool key --clearmodifiers ctrl+Tab
titled "First Page — Mozilla Firefox" "the first tab again"
note="Firefox $(dpkg-query -W -f='${Version}' firefox-esr) on Debian, two tabs (First Page, Second Page) served from 127.0.0.1"
RECORD_WAIT_MS=30000 "$recorder" firefox "$data/firefox-first-tab.json" --until "Some text of first" \
  --note "$note, the first in front" || fail "Firefox did not show the first page"
xdotool key --clearmodifiers ctrl+Tab
titled "Second Page — Mozilla Firefox" "the second tab"
RECORD_WAIT_MS=30000 "$recorder" firefox "$data/firefox-second-tab.json" --until "Some text of second" \
  --note "$note, the second in front just after Ctrl+Tab" || fail "Firefox did not show the second page"
echo "recorded into $data"
