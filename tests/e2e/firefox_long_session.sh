#!/usr/bin/env bash
# Firefox ESR in front of a Morvane that keeps running across browser sessions, on pages served from
# 127.0.0.1, with the saved-item mark read from the tray icon's own pixels. Each session: a new tab
# opened a second after the window appears, tab switches both ways, a second window, another
# application in front and back; each change is followed within a poll and a capture. The first
# session also saves the page in front from the quick panel. MORVANE_E2E_FIREFOX_SESSIONS sessions
# are run (2 by default).
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
. "$(dirname "$0")/browser_common.sh"
own_bus "$0" "$@"
start_browser_session firefox-esr "$@"
serve_pages alpha beta gamma slow
slow_page_seconds=4 # as the page server sends it

start_app_ready
# Beta, Gamma and Slow are saved; Alpha is not.
add_web_link 00000000-0000-4000-8000-0000000000b1 "Beta Page" "$(page_url beta)"
add_web_link 00000000-0000-4000-8000-0000000000b2 "Gamma Page" "$(page_url gamma)"
add_web_link 00000000-0000-4000-8000-0000000000b3 "Slow Page" "$(page_url slow)"
followed indicator_off "the tray icon at start"

# tab_to <key> <page> <indicator_on|indicator_off> <what>: the key shows the page's tab, and the mark follows.
tab_to() {
  xdotool key --clearmodifiers "$1"
  titled "$2 Page — Mozilla Firefox" "$4"
  followed "$3" "$4"
}

firefox_window() { xdotool search --onlyvisible --class '^firefox-esr$' | head -n 1 | grep .; }

session() { # <number>
  local profile=$E2E_HOME/firefox-profile-$1 first second
  firefox_profile "$profile"
  firefox-esr --no-remote --new-instance --profile "$profile" "$(page_url alpha)" >>"$E2E_HOME/firefox.log" 2>&1 &
  firefox=$!
  wait_for 60 firefox_window || fail "session $1: Firefox showed no window"
  first=$(firefox_window)
  activate "$first"
  # As a user would, a second after the window appears (its first page may still be loading): a new
  # tab with a saved page.
  sleep "${MORVANE_E2E_NEW_TAB_DELAY:-1}"
  xdotool key --clearmodifiers ctrl+t
  wait_for 10 untitled "Alpha Page — Mozilla Firefox" || fail "session $1: Ctrl+T opened no tab"
  type_url "$(page_url beta)"
  titled "Beta Page — Mozilla Firefox" "session $1: the new tab"
  followed indicator_on "session $1: a saved page in a new tab opened as the window appeared"
  tab_to ctrl+Page_Up Alpha indicator_off "session $1: back to the first tab"
  tab_to ctrl+Page_Down Beta indicator_on "session $1: to the saved tab again"
  tab_to ctrl+Page_Up Alpha indicator_off "session $1: the first tab again"
  # A saved page whose tab shows its title while the page is still arriving.
  xdotool key --clearmodifiers ctrl+t
  wait_for 10 untitled "Alpha Page — Mozilla Firefox" || fail "session $1: the second Ctrl+T opened no tab"
  type_url "$(page_url slow)"
  titled "Slow Page — Mozilla Firefox" "session $1: a page still loading"
  followed indicator_on "session $1: a saved page that was still loading" "$slow_page_seconds"
  tab_to alt+1 Alpha indicator_off "session $1: the first tab once more"

  # A second window, on another saved page; then the first window in front again.
  xdotool key --clearmodifiers ctrl+n
  wait_for 15 window_titled "Mozilla Firefox" || fail "session $1: Ctrl+N opened no window"
  second=$(window_titled "Mozilla Firefox")
  activate "$second"
  type_url "$(page_url gamma)"
  titled "Gamma Page — Mozilla Firefox" "session $1: the second window"
  followed indicator_on "session $1: a saved page in a second window"
  activate "$first"
  followed indicator_off "session $1: the first window in front again"

  # Another application in front and back.
  activate "$second"
  followed indicator_on "session $1: the second window in front again"
  open "other-$1" xterm -class Other -title "other-$1" -e sleep 600
  followed indicator_off "session $1: another application in front"
  activate "$second"
  followed indicator_on "session $1: back from another application"

  if [ "$1" = 1 ]; then
    # The quick panel over the browser offers the page in front and saves it with Return; the mark
    # then comes on for it.
    activate "$first"
    followed indicator_off "session 1: an unsaved page before it is saved"
    show_panel
    [ -z "${E2E_SHOTS:-}" ] || import -window root "$E2E_SHOTS/panel-over-firefox.png"
    saved_alpha() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$(page_url alpha)' AND title = 'Alpha Page' AND source_app = 'Firefox'")" = 1 ]; }
    save_capture saved_alpha "Alpha Page from the panel over Firefox"
    followed indicator_on "session 1: the page just saved from the panel"
    sql "DELETE FROM links WHERE url = '$(page_url alpha)'"
    followed indicator_off "session 1: the page deleted again"
  fi
  kill "$firefox"
  wait "$firefox" || true
  followed indicator_off "session $1: Firefox ended"
}

for ((n = 1; n <= ${MORVANE_E2E_FIREFOX_SESSIONS:-2}; n++)); do session "$n"; done
grep -q "Ignored malformed" "$E2E_HOME/morvane.log" && fail "a page was called malformed"
quit_app
echo "PASS"
