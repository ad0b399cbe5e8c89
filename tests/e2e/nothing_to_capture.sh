#!/usr/bin/env bash
# Saying why, in the full application: with nothing it can capture in front, the quick panel's message
# line names the reason (an application Morvane does not read, by its menu name or else its window class; the accessibility
# bus being off; Thunar's icon view and list view with nothing selected (the icon view names its one
# selected item only in its status bar); Chromium started without its accessibility switch). Opening a saved event with no calendar application installed shows an alert naming the
# applications that would open it. The panel and the alert are read over the accessibility bus, as a
# screen reader reads them. MORVANE_E2E_SHOTS=<folder> keeps a screenshot of each step there.
set -euo pipefail
binary=$1
seed=$2
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
start_session "$@"
texts=$(dirname "$0")/accessible_texts.py

shot() {
  [ -z "${MORVANE_E2E_SHOTS:-}" ] || { mkdir -p "$MORVANE_E2E_SHOTS"; import -window root "$MORVANE_E2E_SHOTS/$1.png"; }
}
# message_is <text>: a showing label of Morvane's says exactly this.
message_is() { "$texts" texts morvane | grep -xF -- "$1" >/dev/null; } # all read: no broken pipe
# panel_says <text> <step>: the panel opened over the window in front comes to say it.
panel_says() {
  show_panel
  wait_for 15 message_is "$1" || fail "$2: the panel says: $("$texts" texts morvane | paste -sd'|' -)"
  shot "$2"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not hide the panel"
}

now=$(date +%s)
"$seed" event "Quarterly Zebra Review" $((now + 3600)) $((now + 7200)) >/dev/null ||
  fail "could not write the event"
docs=$E2E_HOME/Docs
mkdir -p "$docs"
printf 'notes\n' >"$docs/Notes.txt"

# No calendar application on this machine, as far as Morvane can see: only this home's applications.
# Its windows are published on the accessibility bus even while the bus is off, so that they can be
# read.
mkdir -p "$E2E_HOME/share"
ln -s /usr/share/glib-2.0 "$E2E_HOME/share/glib-2.0" # the settings schemas the desktop's libraries need
XDG_DATA_DIRS=$E2E_HOME/share QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 start_app
wait_for 15 tray_window || fail "no tray icon appeared"
# With the bus off, Morvane asks to turn it on; not now.
wait_for 15 "$texts" press morvane "Not Now" || fail "Morvane did not ask for the accessibility bus"
wait_for 10 eval '! dialog_window' || fail "the question stayed"

open Terminal xterm -T Terminal
panel_says "Morvane cannot read items from XTerm. Type to search all links." xterm

bus_off="Morvane reads this window over the accessibility bus, which is off: turn it on in Preferences › About › Permissions."
thunar "$docs" >"$E2E_HOME/thunar.log" 2>&1 &
wait_for 30 window_titled "Docs - Thunar" || fail "Thunar did not show the folder"
activate "$(window_titled "Docs - Thunar")"
panel_says "$bus_off" bus-off

# Thunar publishes its windows when the bus is on at its start.
thunar -q >/dev/null 2>&1 || true
wait_for 15 eval '! window_titled "Docs - Thunar"' || fail "Thunar did not quit"
accessibility_on
thunar "$docs" >>"$E2E_HOME/thunar.log" 2>&1 &
wait_for 30 window_titled "Docs - Thunar" || fail "Thunar did not show the folder again"
activate "$(window_titled "Docs - Thunar")"
panel_says "Select a file in Thunar to capture it." thunar-icon-view
activate "$(window_titled "Docs - Thunar")"
xdotool key ctrl+2
panel_says "Select a file in Thunar to capture it." thunar-list-view

# Chromium without its accessibility switch shows its window on the bus but not its pages. Root needs
# --no-sandbox.
sandbox=()
[ "$(id -u)" != 0 ] || sandbox=(--no-sandbox)
chromium "${sandbox[@]}" --user-data-dir="$E2E_HOME/chromium-profile" --no-first-run --no-default-browser-check \
  --disable-gpu --password-store=basic "data:text/html,<title>Plain Page</title>" >"$E2E_HOME/chromium.log" 2>&1 &
chromium_pid=$!
wait_for 60 window_titled "Plain Page - Chromium" || fail "Chromium showed no window"
activate "$(window_titled "Plain Page - Chromium")"
panel_says "Start Chromium with --force-renderer-accessibility to let Morvane read its pages." chromium
# The browser writes its profile as it ends: it ends before the home is removed.
kill "$chromium_pid"
wait "$chromium_pid" || true

# The event saved from the search, then opened: nothing installed shows it, and an alert says which
# applications would.
show_panel
xdotool type --delay 20 "Zebra Review"
xdotool key Return
saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE type = 'calendar'")" = 1 ]; }
wait_for 10 saved || fail "Return did not save the event: $(sql "SELECT title, url FROM links")"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not hide the panel"
show_panel
xdotool type --delay 20 "Zebra Review"
xdotool key Return
wait_for 15 message_is "“Quarterly Zebra Review” cannot be opened." ||
  fail "no alert said the event cannot be opened: $("$texts" texts morvane | paste -sd'|' -)"
message_is "Saved events open in GNOME Calendar or Evolution, and neither is installed." ||
  fail "the alert does not name the applications: $("$texts" texts morvane | paste -sd'|' -)"
[ "$(xdotool search --onlyvisible --name '^Morvane$' | wc -l)" = 1 ] || fail "the panel stayed open behind the alert"
shot no-calendar-alert
"$texts" press morvane OK || fail "the alert has no OK button"
wait_for 10 eval '! message_is "“Quarterly Zebra Review” cannot be opened."' || fail "the alert stayed"
grep -q "Unable to locate GNOME Calendar or Evolution" "$E2E_HOME/morvane.log" ||
  fail "the log does not name the applications"
quit_app
thunar -q >/dev/null 2>&1 || true
# Thunar's toolkit mounts the desktop's document portal in the runtime folder, which the home's removal
# must not meet.
fusermount -u -z "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true
echo "PASS"
