#!/usr/bin/env bash
# morvane:// links and the single running copy: the first start registers the scheme with the desktop;
# a later start hands its URLs to the running copy and leaves once the copy answered, or says that it
# did not answer; a link followed through
# xdg-open opens the saved item in its own application (here a stand-in browser that writes down what
# it was given), also when the link starts morvane cold; unknown ids say so, malformed links and a
# link that points back at itself open nothing. `morvane --quick-panel` toggles the running copy's panel;
# a start with nothing to hand over (the menu entry chosen again) shows it and never hides it; a launch's
# startup id reaches the window it shows, whose activation carries the launch's time (or the shortcut's,
# or the server's: never none), and the launcher is told that the launch is done. An installed Morvane's
# entry in the system's folders decides nothing here.
# Usage: url_scheme.sh <morvane> <x_root_messages>
set -euo pipefail
binary=$1 watcher=$2
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
use_stand_in_browser
# As the package installs it, behind the session's own folder.
mkdir -p "$E2E_HOME/installed/applications"
printf '[Desktop Entry]\nType=Application\nName=Morvane\nExec=morvane %%u\nMimeType=x-scheme-handler/morvane;\n' \
  >"$E2E_HOME/installed/applications/morvane.desktop"
export XDG_DATA_DIRS=$E2E_SYSTEM_DATA:$E2E_HOME/installed:${XDG_DATA_DIRS#*:}

count() { ours | wc -l; }
one_running() { [ "$(count)" -eq 1 ]; }
opened_lines() { wc -l <"$opened"; }
has_opened() { [ "$(opened_lines)" -ge "$1" ]; }
log_count() { grep -cF "$1" "$E2E_HOME/morvane.log" || true; }
logged() { [ "$(log_count "$1")" -ge "$2" ]; }
registered() { [ "$(xdg-mime query default x-scheme-handler/morvane)" = morvane.desktop ]; }

start_app_ready
wait_for 10 registered || fail "morvane.desktop did not become the morvane scheme's handler"
grep -qxF "Exec=$binary %u" "$XDG_DATA_HOME/applications/morvane.desktop" || fail "the entry does not start $binary"

# A second start, with or without URLs, leaves with status 0 within two seconds. Without, it shows the
# running copy's panel, and another such start leaves it shown.
started=$(date +%s%N)
timeout 5 "$binary" || fail "a second start exited with status $?"
[ $(( ($(date +%s%N) - started) / 1000000 )) -lt 2000 ] || fail "a second start took two seconds or more"
one_running || fail "$(count) copies are running after a second start"
wait_for 10 panel || fail "a second start did not show the running copy's panel"
received=$(log_count "Received 1 morvane URL")
timeout 5 "$binary" || fail "a third start exited with status $?"
wait_for 10 logged "Received 1 morvane URL" $((received + 1)) || fail "the third start handed nothing over"
! wait_for 2 no_panel || fail "a third start hid the panel"
shown_before=$(panel)
"$binary" --quick-panel || fail "morvane --quick-panel exited with status $?"
wait_for 10 no_panel || fail "morvane --quick-panel did not hide the panel"

# The launch's startup id reaches the window it shows, which is brought forward with the launch's time;
# the launcher is told that the launch is done, and the panel takes the keyboard.
"$watcher" "$shown_before" >"$E2E_HOME/requests.out" 2>>"$E2E_HOME/watcher.log" &
wait_for 10 grep -qx watching "$E2E_HOME/requests.out" || fail "the request watcher did not start"
requests() { tail -n +$((mark + 1)) "$E2E_HOME/requests.out"; }
requested() { requests | grep -qx -- "$1"; }
activated() { requests | grep -q "^activate $1 "; }
mark=$(wc -l <"$E2E_HOME/requests.out")
DESKTOP_STARTUP_ID=e2e-launch-1_TIME4242 "$binary" --quick-panel || fail "morvane --quick-panel exited with status $?"
wait_for 10 panel || fail "morvane --quick-panel did not show the panel"
w=$(panel)
[ "$w" = "$shown_before" ] || fail "the panel is another window ($w) than before ($shown_before)"
user_time_window=$(xprop -id "$w" _NET_WM_USER_TIME_WINDOW | sed -n 's/.*window id # //p')
user_time=$(xprop -id "${user_time_window:-$w}" _NET_WM_USER_TIME | sed -n 's/.* = //p')
[ -n "$user_time" ] && [ "$user_time" -ge 4242 ] || fail "the panel's user time is '$user_time'"
wait_for 5 requested "activate $w 4242" || fail "the panel was not brought forward with the launch's time: $(requests)"
wait_for 5 requested 'startup remove: ID="e2e-launch-1_TIME4242"' ||
  fail "the launcher was not told that the launch is done: $(requests)"
# The id was on the window as it was brought forward, and is taken off once the launch is done: a
# later show is not weighed as part of it.
wait_for 5 requested "startup-id $w deleted" || fail "the launch's id stayed on the panel: $(requests)"
line_of() { requests | grep -nx -- "$1" | head -n 1 | cut -d: -f1; }
[ "$(line_of "startup-id $w set")" -lt "$(line_of "activate $w 4242")" ] &&
  [ "$(line_of 'startup remove: ID="e2e-launch-1_TIME4242"')" -lt "$(line_of "startup-id $w deleted")" ] ||
  fail "the id was not set before the activation and taken off after the launch ended: $(requests)"
xprop -id "$w" _NET_STARTUP_ID | grep -q "not found" || fail "the panel still carries $(xprop -id "$w" _NET_STARTUP_ID)"
wait_for 5 panel_active || fail "the panel shown for the launch did not take the keyboard"
"$binary" --quick-panel || fail "morvane --quick-panel exited with status $?"
wait_for 10 no_panel || fail "morvane --quick-panel did not hide the panel"

# Without a startup id (an older launcher) and from the shortcut the activation carries a real time,
# never "none", which a window manager that prevents focus stealing may refuse.
mark=$(wc -l <"$E2E_HOME/requests.out")
env -u DESKTOP_STARTUP_ID -u XDG_ACTIVATION_TOKEN "$binary" --quick-panel || fail "morvane --quick-panel exited with status $?"
wait_for 10 panel || fail "morvane --quick-panel did not show the panel"
wait_for 5 activated "$(panel)" || fail "the panel was not brought forward: $(requests)"
! requested "activate $(panel) 0" || fail "the panel was brought forward without a time"
"$binary" --quick-panel || fail "morvane --quick-panel exited with status $?"
wait_for 10 no_panel || fail "morvane --quick-panel did not hide the panel"
mark=$(wc -l <"$E2E_HOME/requests.out")
show_panel
wait_for 5 activated "$w" || fail "the shortcut did not bring the panel forward: $(requests)"
! requested "activate $w 0" || fail "the shortcut brought the panel forward without a time"
xdotool key Escape
wait_for 10 no_panel || fail "Escape did not hide the panel"

# A saved web link, followed through the desktop with its id in lower case.
id=6F9619FF-8B86-D011-B42D-00C04FC964FF
add_web_link "$id" E2E "https://example.com/e2e"
xdg-open "morvane://open/${id,,}"
wait_for 10 has_opened 1 || fail "the saved link did not open"
[ "$(head -1 "$opened")" = "https://example.com/e2e" ] || fail "opened $(head -1 "$opened")"
recorded() { [ "$(sql "SELECT COUNT(*) FROM links WHERE id = '$id' AND last_opened_at LIKE '____-__-__T__:__:__.___Z'")" = 1 ]; }
wait_for 5 recorded || fail "the open was not recorded"
one_running || fail "$(count) copies are running after the link was followed"

# An id nobody saved: an alert, the id logged in upper case.
unknown=0b7d0f2a-44c9-4a52-9d2e-5cf1c1a0f0aa
"$binary" "morvane://open/$unknown"
wait_for 10 dialog_window || fail "no alert for an unknown id"
grep -qF "Link not found: ${unknown^^}" "$E2E_HOME/morvane.log" || fail "the unknown id was not named"
dialog=$(dialog_window)
xprop -id "$dialog" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the alert is not kept above other windows"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
xdotool key Return
gone() { ! dialog_window; }
wait_for 10 gone || fail "the alert did not close"

# Malformed links: a query, another path segment, another host, a fragment. Only logged.
"$binary" "morvane://open/$id?x=1" "morvane://open/$id/more" "morvane://show/$id" "morvane://open/$id#top"
wait_for 10 logged "Rejected malformed morvane URL" 4 || fail "the malformed links were not refused"
! dialog_window >/dev/null || fail "a malformed link showed an alert"

# A link whose url is its own morvane link (a backup may carry one) opens nothing: no loop of launches.
loop=1C0D7A6E-2F4B-4E55-8C3D-7A9B0E1F2A3B
add_web_link "$loop" E2E "morvane://open/$loop"
xdg-open "morvane://open/$loop"
wait_for 10 logged "Refused to open a URL whose scheme its type does not own" 1 || fail "the self link was not refused"
one_running || fail "$(count) copies are running after the self link"
[ "$(opened_lines)" -eq 1 ] || fail "something else was opened"

# A stalled copy: a later start says so on standard error and exits 1 within five seconds; the copy,
# woken, drops what that start gave up on rather than open it behind the user's back.
kill -STOP $app
started=$(date +%s%N)
status=0
timeout 10 "$binary" "morvane://open/$id" 2>"$E2E_HOME/stalled.err" || status=$?
elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
kill -CONT $app
[ $status -eq 1 ] || fail "a start against a stalled copy exited with status $status"
[ $elapsed -lt 5000 ] || fail "a start against a stalled copy took ${elapsed} ms"
grep -qF "did not answer" "$E2E_HOME/stalled.err" || fail "the stalled copy went unmentioned"
wait_for 10 logged "A launch gave up before its URLs were taken" 1 || fail "the woken copy did not drop the delivery"
[ "$(opened_lines)" -eq 1 ] || fail "the woken copy opened what the later start gave up on"

# Cold start after the copy was killed (its socket left behind): the link opens once start-up is done.
kill -KILL $app
wait_for 10 app_exited || fail "morvane did not die on SIGKILL"
"$binary" "morvane://open/$id" >"$E2E_HOME/cold.log" 2>&1 &
app=$!
wait_for 15 has_opened 2 || fail "the link given at a cold start did not open"
one_running || fail "$(count) copies are running after the cold start"
quit_app

# Two starts at once: one stays, the other hands over and leaves with status 0.
"$binary" >>"$E2E_HOME/morvane.log" 2>&1 &
first=$!
"$binary" >>"$E2E_HOME/morvane.log" 2>&1 &
second=$!
one_left() { ! kill -0 $first 2>/dev/null || ! kill -0 $second 2>/dev/null; }
wait_for 10 one_left || fail "both starts kept running"
if kill -0 $first 2>/dev/null; then app=$first left=$second; else app=$second left=$first; fi
wait $left || fail "the start that handed over exited with status $?"
wait_for 15 tray_window || fail "the start that stayed shows no tray icon"
one_running || fail "$(count) copies are running after two starts at once"

# The start that handed over asked for the panel, which shows once the copy has started. The window
# commands a desktop without global shortcuts for us binds to its keys: a later start toggles the
# running copy's quick panel, then leaves.
wait_for 10 panel || fail "the start that handed over did not show the running copy's panel"
"$binary" --quick-panel >>"$E2E_HOME/morvane.log" 2>&1 || fail "morvane --quick-panel exited with status $?"
wait_for 10 no_panel || fail "morvane --quick-panel did not hide the panel"
"$binary" --quick-panel >>"$E2E_HOME/morvane.log" 2>&1 || fail "morvane --quick-panel exited with status $?"
wait_for 10 panel || fail "a second morvane --quick-panel did not show the panel again"
one_running || fail "$(count) copies are running after the window commands"
quit_app
echo "PASS"
