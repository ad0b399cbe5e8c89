#!/usr/bin/env bash
# Chromium (started with its accessibility switch) in front of a running Morvane, on pages served
# from 127.0.0.1, with the saved-item mark read from the tray icon's own pixels: a saved page, a new
# tab with another page and back, a page handed to the running browser, another application in front
# and back; each change is followed within a poll and a capture.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
. "$(dirname "$0")/browser_common.sh"
own_bus "$0" "$@"
start_browser_session chromium "$@"
serve_pages alpha beta gamma

start_app_ready
add_web_link 00000000-0000-4000-8000-0000000000c1 "Gamma Page" "$(page_url gamma)"
followed indicator_off "the tray icon at start"

# Chromium builds its pages' accessibility tree only for an assistive technology it recognises: on
# this bare desktop it needs the switch. Root needs --no-sandbox.
sandbox=()
[ "$(id -u)" != 0 ] || sandbox=(--no-sandbox)
browser() {
  chromium "${sandbox[@]}" --user-data-dir="$E2E_HOME/chromium-profile" --no-first-run \
    --no-default-browser-check --disable-gpu --password-store=basic --force-renderer-accessibility "$@" \
    >>"$E2E_HOME/chromium.log" 2>&1
}
browser "$(page_url gamma)" &
chromium_pid=$!
wait_for 60 window_titled "Gamma Page - Chromium" || fail "Chromium showed no window"
window=$(window_titled "Gamma Page - Chromium")
activate "$window"
followed indicator_on "a saved page in Chromium"

xdotool key --clearmodifiers ctrl+t
titled "New Tab - Chromium" "Ctrl+T"
type_url "$(page_url alpha)"
titled "Alpha Page - Chromium" "the new tab"
followed indicator_off "an unsaved page in a new tab"
xdotool key --clearmodifiers ctrl+Page_Up
titled "Gamma Page - Chromium" "the first tab"
followed indicator_on "back to the saved tab"

# A page handed to the running browser opens in a new tab in front.
browser "$(page_url beta)"
titled "Beta Page - Chromium" "the page handed to the browser"
followed indicator_off "an unsaved page handed to the running browser"
xdotool key --clearmodifiers ctrl+1
titled "Gamma Page - Chromium" "the first tab again"
followed indicator_on "the saved tab again"

open other xterm -class Other -title other -e sleep 600
followed indicator_off "another application in front"
activate "$window"
followed indicator_on "back from another application"

# The browser writes its profile as it ends: it ends before the home is removed.
# The browser's own process is the oldest with this profile (the one started above runs in a
# subshell); its helper processes write to the profile a moment longer.
profile_processes() { pgrep "$@" -f -- "--user-data-dir=$E2E_HOME/chromium-profile"; }
kill "$(profile_processes -o)"
wait "$chromium_pid" || true
wait_for 15 eval '! profile_processes >/dev/null' || fail "Chromium's processes did not end"
quit_app
echo "PASS"
