#!/usr/bin/env bash
# Capture from Debian's Firefox ESR and Chromium over the accessibility bus, on pages served from
# 127.0.0.1: with the bus's switch off nothing is published and the probe's request turns it on;
# then each browser's front tab is captured with its title and URL, a tab switch is followed within
# a poll, and another application in front gives nothing. Runs on a private session bus.
set -euo pipefail
if [ -z "${MORVANE_E2E_PRIVATE_BUS:-}" ]; then
  MORVANE_E2E_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
probe=$1
. "$(dirname "$0")/e2e_common.sh"
. "$(dirname "$0")/browser_common.sh"
start_session "$@"
# The browsers start the desktop's document portal, which mounts a file system in the runtime
# folder: it is unmounted before the home is removed.
trap 'fusermount -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT
# The accessibility bus is started on demand by the session bus: with this session's display and home.
dbus-update-activation-environment --all 2>/dev/null || fail "the session bus refused the environment"
for program in firefox-esr chromium python3; do
  command -v "$program" >/dev/null || fail "$program is not installed (scripts/install-test-deps installs it)"
done

serve_pages alpha beta gamma
url() { page_url "$1"; }

out=$E2E_HOME/probe.out
expect() { # expect <seconds> <line>: the probe's last answer becomes this line
  wait_for "$1" bash -c '[ "$(grep -v ^trust "$1" | tail -n 1)" = "$2" ]' _ "$out" "$2" ||
    fail "expected '$2'; the probe printed: $(cat "$out")"
}
a11y_enabled() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Get \
    string:org.a11y.Status string:IsEnabled | grep -q 'boolean true'
}

# With the switch off (as a desktop starts without a screen reader; the launcher's own default
# depends on the desktop's settings) the probe reads "not granted", and its request turns it on.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
  string:org.a11y.Status string:IsEnabled variant:boolean:false >/dev/null || fail "the accessibility bus is missing"
! a11y_enabled || fail "the accessibility bus could not be switched off"
"$probe" >"$E2E_HOME/first.out" 2>"$E2E_HOME/first-probe.log" &
first=$!
wait_for 10 grep -qx 'trust 1' "$E2E_HOME/first.out" || fail "trust with the switch off: $(cat "$E2E_HOME/first.out")"
kill "$first"
wait "$first" || true
"$probe" --request >"$out" 2>"$E2E_HOME/probe.log" &
wait_for 10 a11y_enabled || fail "the request did not turn the accessibility bus on"
wait_for 10 grep -qx 'trust 0' "$out" || fail "trust after the request: $(cat "$out")"

# Firefox with a fresh profile and no first-run screens.
profile=$E2E_HOME/firefox-profile
firefox_profile "$profile"
firefox-esr --no-remote --new-instance --profile "$profile" "$(url alpha)" >"$E2E_HOME/firefox.log" 2>&1 &
firefox=$!
wait_for 60 window_titled "Alpha Page — Mozilla Firefox" || fail "Firefox showed no window"
activate "$(window_titled "Alpha Page — Mozilla Firefox")"
expect 30 "captured Alpha Page | $(url alpha) | Firefox"
# A second tab, then back to the first: each is followed within a poll or two.
xdotool key --clearmodifiers ctrl+t
expect 10 nothing # the new tab page is no web page
go_to() { xdotool type --delay 20 "$1"; xdotool key Return; }
go_to "$(url beta)"
expect 15 "captured Beta Page | $(url beta) | Firefox"
xdotool key --clearmodifiers ctrl+Page_Up
expect 5 "captured Alpha Page | $(url alpha) | Firefox"
# Another application in front: nothing.
open other xterm -class Other -title other -e sleep 600
expect 5 nothing
kill "$firefox"
wait "$firefox" || true

# Chromium builds its pages' accessibility tree only for an assistive technology it recognises: on
# this bare desktop it needs the flag. Root needs --no-sandbox.
sandbox=()
[ "$(id -u)" != 0 ] || sandbox=(--no-sandbox)
chromium "${sandbox[@]}" --user-data-dir="$E2E_HOME/chromium-profile" --no-first-run --no-default-browser-check \
  --disable-gpu --password-store=basic --force-renderer-accessibility "$(url gamma)" >"$E2E_HOME/chromium.log" 2>&1 &
chromium_pid=$!
wait_for 60 window_titled "Gamma Page - Chromium" || fail "Chromium showed no window"
activate "$(window_titled "Gamma Page - Chromium")"
expect 30 "captured Gamma Page | $(url gamma) | Chromium"
# A second page, handed to the running browser, opens in a new tab in front.
chromium "${sandbox[@]}" --user-data-dir="$E2E_HOME/chromium-profile" "$(url beta)" >>"$E2E_HOME/chromium.log" 2>&1
expect 15 "captured Beta Page | $(url beta) | Chromium"
xdotool key --clearmodifiers ctrl+Page_Up
expect 5 "captured Gamma Page | $(url gamma) | Chromium"
# The browser writes its profile as it ends: it ends before the home is removed.
kill "$chromium_pid"
wait "$chromium_pid" || true
echo "PASS"
