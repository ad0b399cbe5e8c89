# Shared by the browser scripts, sourced after e2e_common.sh: pages served from 127.0.0.1, fresh
# browser profiles, and the tray icon's saved-item mark read from its pixels on screen.

# start_browser_session <browser program> <script arguments...>: start_session, with the session bus
# given this session's display and home (the accessibility bus is started on demand by it) and the
# accessibility bus on.
start_browser_session() {
  local program=$1
  shift
  start_session "$@"
  # The browsers start the desktop's document portal, which mounts a file system in the runtime
  # folder: it is unmounted before the home is removed.
  trap 'fusermount -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT
  dbus-update-activation-environment --all 2>/dev/null || fail "the session bus refused the environment"
  command -v "$program" >/dev/null || fail "$program is not installed (scripts/install-test-deps installs it)"
  accessibility_on
}

# serve_pages <name...>: a page "<Name> Page" for each, served over http from 127.0.0.1 until the
# script ends (a name with "slow" in it arrives in two parts, seconds apart); page_url <name> is its
# address.
serve_pages() {
  local site=$E2E_HOME/site page title
  mkdir -p "$site"
  for page in "$@"; do
    title="$(tr a-z A-Z <<<"${page:0:1}")${page:1} Page"
    echo "<!doctype html><title>$title</title><h1>$title</h1><p>Some text of $page.</p>" >"$site/$page.html"
  done
  python3 "$(dirname "${BASH_SOURCE[0]}")/page_server.py" "$site" >"$E2E_HOME/server.log" 2>&1 &
  wait_for 10 grep -q '^port ' "$E2E_HOME/server.log" || fail "the page server did not start"
  page_port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$E2E_HOME/server.log" | head -n 1)
}
page_url() { echo "http://127.0.0.1:$page_port/$1.html"; }

# firefox_profile <folder>: a fresh Firefox profile with no first-run screens.
firefox_profile() {
  mkdir -p "$1"
  cat >"$1/user.js" <<'JS'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("browser.tabs.warnOnClose", false);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("browser.newtabpage.enabled", false);
JS
}

# type_url <url>: into the address bar of the tab in front, then Return once the bar holds it, as a
# user looks before pressing Return. On a loaded machine the first keys typed into a tab only just
# opened go astray now and then (Chromium's new tab lost one to three of them, and Return searched for
# the rest): the bar's text is copied back, and typed again when it is not the address.
type_url() {
  local attempt held
  for attempt in 1 2 3; do
    xdotool key --clearmodifiers ctrl+l
    xdotool type --delay 20 "$1"
    held=$(address_bar_text) || held="(nothing copied)"
    [ "$held" != "$1" ] || { xdotool key Return; return 0; }
    echo "the address bar held \"$held\" after typing \"$1\": typed again" >&2
  done
  fail "the address bar did not take \"$1\" in three tries"
}
# The address bar's text, copied from it: the clipboard is emptied first, so that what is read is
# this copy and not an older one.
address_bar_text() {
  xclip -selection clipboard </dev/null >/dev/null 2>&1
  xdotool key --clearmodifiers ctrl+l ctrl+c
  wait_for 5 eval '[ -n "$(clipboard)" ]' || return 1
  clipboard
}
# titled <window title> <what>: a window with this title appears (a page loaded, a tab switched).
titled() {
  wait_for 15 window_titled "$1" || fail "$2: no window titled \"$1\""
}

untitled() { ! window_titled "$1" | grep -q .; }

# followed <indicator_on|indicator_off> <what> [<seconds more>]: the mark follows within one poll (3 s) and
# one capture, and the seconds more that the page takes to arrive; the time it took goes to
# $E2E_TIMES when set.
follow_seconds=${MORVANE_E2E_FOLLOW_SECONDS:-5}
followed() {
  local started=$EPOCHREALTIME bound=$((follow_seconds + ${3:-0}))
  wait_for "$bound" "$1" ||
    fail "$2: the tray icon's mark is not ${1#indicator_} after $bound s ($(indicator_green_pixels) green pixels)"
  [ -z "${E2E_TIMES:-}" ] || echo "$(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $started }") $2" >>"$E2E_TIMES"
}
