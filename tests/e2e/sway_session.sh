#!/usr/bin/env bash
# A Wayland desktop as sway runs it, headless, with Xwayland and waybar as the tray's host, on a bus of
# its own: Morvane picks Xwayland by itself, its icon registers with the status-notifier watcher, a sway
# binding to `morvane --quick-panel` pressed on the keyboard toggles the panel (the time from the press
# to the panel shown is printed), the panel opened over a native Wayland window offers nothing from the
# Xwayland window behind it, and the KDE portal that the desktop portal falls back to under sway, which
# refuses the session, leaves the shortcuts with the X11 grabs, which still open the panel over an
# Xwayland window, a full-screen X11 window in front leaves full screen for the panel, and a panel that
# a full-screen native window covers is asked for again, not hidden, by the next press, while a panel
# sway shows without the keyboard is hidden by it. A native window that publishes itself on the
# accessibility bus (Evince) is captured from the panel, and the tray indicator follows it. sway refuses
# to run as root: as root the script runs itself as an ordinary user.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
as_unprivileged_user "$0" "$@"
own_bus "$0" "$@"
texts=$(dirname "$0")/accessible_texts.py

E2E_HOME=$(mktemp -d /tmp/morvane-e2e-XXXXXX)
trap end_session EXIT
export HOME=$E2E_HOME XDG_CONFIG_HOME=$E2E_HOME/.config XDG_DATA_HOME=$E2E_HOME/.local/share
export XDG_RUNTIME_DIR=$E2E_HOME/.runtime XDG_CURRENT_DESKTOP=sway TMPDIR=$E2E_HOME/tmp
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Before sway starts: waybar starts the accessibility bus as sway comes up.
bus_sees_session_home
library=$XDG_DATA_HOME/Morvane/Morvane.sqlite

# sway writes its environment (the displays it made) for the script once it runs; the binding starts
# the second morvane with it.
cat >"$E2E_HOME/sway.conf" <<EOF
xwayland enable
exec sh -c 'env >"$E2E_HOME/sway.env.part" && mv "$E2E_HOME/sway.env.part" "$E2E_HOME/sway.env"'
exec waybar -c "$E2E_HOME/waybar.json" >"$E2E_HOME/waybar.log" 2>&1
bindsym Ctrl+Mod4+m exec "$binary" --quick-panel >>"$E2E_HOME/bound.log" 2>&1
EOF
printf '{"layer": "top", "modules-right": ["tray"]}\n' >"$E2E_HOME/waybar.json"
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$E2E_HOME/sway.conf" \
  >"$E2E_HOME/sway.log" 2>&1 &
wait_for 20 test -s "$E2E_HOME/sway.env" || fail "sway did not start"
for variable in DISPLAY WAYLAND_DISPLAY SWAYSOCK; do
  value=$(sed -n "s/^$variable=//p" "$E2E_HOME/sway.env")
  [ -n "$value" ] || fail "sway did not set $variable"
  export "$variable=$value"
done
# What a session's start-up does (sway's stock configuration too): services the bus starts later, the
# desktop portal among them, see the displays.
dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY SWAYSOCK XDG_CURRENT_DESKTOP HOME \
  XDG_CONFIG_HOME XDG_DATA_HOME XDG_RUNTIME_DIR
wait_for 20 xdpyinfo || fail "Xwayland did not start on $DISPLAY"

# A virtual keyboard held for the whole session, from before Morvane starts. Each press is a wtype of
# its own, whose keymap Xwayland adopts at its first key (see press_grabbed).
wtype -s 2000000000 >"$E2E_HOME/wtype.log" 2>&1 &
press() { wtype "$@" >>"$E2E_HOME/wtype.log" 2>&1; }
press_binding() { press -M ctrl -M logo -k m -m logo -m ctrl; }

# Every window sway holds, one a line: class or app id, title, visible, focused, full-screen mode, the
# id of its container (tab-separated). A window mapped afresh is a new container, with a new id.
sway_window_list() {
  swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    yield node
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from walk(child)
for node in walk(json.load(sys.stdin)):
    if node.get("type") in ("con", "floating_con") and node.get("name") is not None:
        props = node.get("window_properties") or {}
        print(props.get("class") or node.get("app_id"), node["name"], node.get("visible"), node.get("focused"),
              node.get("fullscreen_mode"), node.get("id"), sep="\t")'
}
# sway_window <class or app id> <title>: that window is visible and focused; full_screen: it is full screen.
sway_window() { sway_window_list | awk -F'\t' -v c="$1" -v t="$2" '$1 == c && $2 == t && $3 == "True" && $4 == "True" { found = 1 } END { exit !found }'; }
full_screen() { sway_window_list | awk -F'\t' -v c="$1" -v t="$2" '$1 == c && $2 == t && $5 == 1 { found = 1 } END { exit !found }'; }
sway_windows() { sway_window_list | tr '\t' ' ' | paste -sd'|' -; }
# The panel as sway shows it: Morvane's window titled "Morvane", visible and focused.
panel_in_front() { sway_window Morvane Morvane; }
no_panel() { ! xdotool search --onlyvisible --name '^Morvane$' >/dev/null; }
message_is() { "$texts" texts morvane | grep -xF -- "$1" >/dev/null; }
# toggled_by <step> <command...>: the command shows the panel, in front; prints the milliseconds.
toggled_by() {
  local step=$1 started
  shift
  started=$(date +%s%N)
  "$@"
  until ! no_panel; do
    [ $(( ($(date +%s%N) - started) / 1000000 )) -lt 10000 ] || fail "$step: the panel did not show"
  done
  echo "$step: panel shown $(( ($(date +%s%N) - started) / 1000000 )) ms after the press"
  wait_for 10 panel_in_front || fail "$step: the panel is mapped but sway does not show it in front: $(sway_windows)"
}
hidden_by() { # <step> <command...>
  local step=$1
  shift
  "$@"
  wait_for 10 no_panel || fail "$step: the panel stayed"
}

accessibility_on
accessibility_ready
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$binary" >"$E2E_HOME/morvane.log" 2>&1 &
app=$!
wait_for 15 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"
items() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems
}
# Qt registers its icon under its connection's unique name: the item whose connection is morvane's.
registered() {
  local name
  for name in $(items | grep -o "'[^'/]*/" | tr -d "'/"); do
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" | grep -qw "$app" && return 0
  done
  return 1
}
wait_for 20 registered || fail "the icon did not register with waybar's status-notifier watcher: $(items)"

# The KDE backend, which the portal picks under sway once it sees a Wayland display, offers global
# shortcuts but refuses the session: Morvane says so, and the X11 grabs stay.
refused="Global shortcuts through the desktop portal are not available: CreateSession answered 2"
wait_for 30 grep -qF "$refused" "$E2E_HOME/morvane.log" || fail "the portal's refusal was not noticed"

# An Xwayland window in front: the binding toggles the panel over it, and so do Morvane's own keys.
xterm -T Terminal &
wait_for 15 sway_window XTerm Terminal || fail "xterm did not come to the front"
for round in 1 2 3 4 5; do
  toggled_by "binding $round" press_binding
  hidden_by "binding $round again" press_binding
  wait_for 10 sway_window XTerm Terminal || fail "xterm did not come back to the front"
done
# Each wtype's keymap reaches Xwayland with its first key, and Morvane grabs its keys again for it: the
# shortcut's keys follow once that is done.
press_grabbed() { press -M ctrl -s 500 -M logo -k l -m logo -m ctrl; }
toggled_by "X11 grab" press_grabbed
wait_for 15 message_is "Morvane cannot read items from XTerm. Type to search all links." ||
  fail "over xterm the panel says: $("$texts" texts morvane | paste -sd'|' -)"
hidden_by "X11 grab again" press_grabbed

# A native window in front: the X display names none, and the panel offers nothing from xterm behind.
# Morvane takes a cleared active window for "nothing of the X display in front" once the clear has
# lasted longer than a window manager's switch; a press that comes sooner is tried again.
foot -T Native >"$E2E_HOME/foot.log" 2>&1 &
wait_for 15 sway_window foot Native || fail "foot did not come to the front"
x_active_cleared() { xprop -root _NET_ACTIVE_WINDOW | grep -q '0x0$'; }
wait_for 10 x_active_cleared || fail "the X display still names a window in front: $(xprop -root _NET_ACTIVE_WINDOW)"
over_native_says_nothing() {
  toggled_by "binding over a native window" press_binding
  wait_for 3 message_is "No active context. Type to search all links." && status=0 || status=$?
  [ "$status" = 0 ] || echo "over a native window: $("$texts" texts morvane | paste -sd"|" -)" >>"$E2E_HOME/panel.log"
  hidden_by "binding over a native window again" press_binding
  wait_for 10 sway_window foot Native || fail "foot did not come back to the front"
  return $status
}
wait_for 20 over_native_says_nothing ||
  fail "over a native window the panel says: $("$texts" texts morvane | paste -sd'|' -)"

# A native window that does publish itself on the bus: Evince on Wayland at page 3 of a PDF. The
# panel over it offers the page and Return saves it; the tray indicator (the icon's pixels as the
# status-notifier item hands them to waybar) turns on, off with foot in front, on again back at Evince.
morvane_item() { # prints the bus name and object path of Morvane's status-notifier item
  local item
  for item in $(items | grep -o "'[^']*'" | tr -d "'"); do
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "${item%%/*}" | grep -qw "$app" &&
      { echo "${item%%/*} /${item#*/}"; return 0; }
  done
  return 1
}
indicator_green_pixels() {
  local item
  item=$(morvane_item) || return 1
  # shellcheck disable=SC2086
  python3 - $item <<'PY'
import sys
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
answer = bus.call_sync(sys.argv[1], sys.argv[2], "org.freedesktop.DBus.Properties", "Get",
                       GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "IconPixmap")), None, 0, 2000, None)
green = 0
for width, height, argb in answer.unpack()[0]:
    for i in range(0, len(argb) - 3, 4):
        a, r, g, b = argb[i], argb[i + 1], argb[i + 2], argb[i + 3]
        green += a > 128 and g > r + 40 and g > b + 40
print(green)
PY
}
indicator_on() { [ "$(indicator_green_pixels)" -ge 8 ]; }
indicator_off() { [ "$(indicator_green_pixels)" = 0 ]; }
sway_titled() { sway_window_list | awk -F'\t' -v t="$1" '$2 == t && $3 == "True" && $4 == "True" { found = 1 } END { exit !found }'; }
pdf="$E2E_HOME/Five Pages.pdf"
make_pdf "$pdf" 5 "Quarterly Figures"
evince_title="Five Pages.pdf — Quarterly Figures"
saved_at_3() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = 'file://$E2E_HOME/Five%20Pages.pdf#page=3' AND type = 'file'")" = 1 ]; }
indicator_off || fail "the indicator is on before anything was saved ($(indicator_green_pixels) green pixels)"
GDK_BACKEND=wayland evince --page-index=3 "$pdf" >"$E2E_HOME/evince.log" 2>&1 &
evince=$!
wait_for 30 sway_titled "$evince_title" || fail "Evince did not come to the front: $(sway_windows)"
# A capture row selected (its key hint), with the status of a file that is not saved yet.
offers_page() { # all read: no broken pipe
  local shown
  shown=$("$texts" texts morvane)
  grep -qF "Return Add this item" <<<"$shown" && grep -q "^No local synced file match for " <<<"$shown"
}
# Morvane learns that a native window is in front from the accessibility bus, which Evince joins a
# moment after sway shows it: a press before then finds nothing in front, and is tried again.
over_evince_offers_page() {
  toggled_by "binding over Evince" press_binding
  wait_for 15 offers_page && return 0
  echo "over Evince: $("$texts" texts morvane | paste -sd"|" -)" >>"$E2E_HOME/panel.log"
  hidden_by "binding over Evince again" press_binding
  wait_for 10 sway_titled "$evince_title" || fail "Evince did not come back to the front"
  return 1
}
wait_for 40 over_evince_offers_page || fail "over Evince the panel says: $("$texts" texts morvane | paste -sd'|' -)"
# The first key of a wtype is the one Xwayland learns its keymap from: a Shift goes first.
press -k Shift_L -s 300 -k Return
wait_for 10 saved_at_3 || fail "Return did not save Evince's page: $(sql "SELECT title, url FROM links")"
press -k Shift_L -s 300 -k Escape
wait_for 10 no_panel || fail "Escape did not hide the panel after the capture"
wait_for 10 sway_titled "$evince_title" || fail "Evince did not come back to the front"
wait_for 12 indicator_on || fail "the indicator is not on over the saved page ($(indicator_green_pixels) green pixels)"
swaymsg '[title="^Native$"] focus' >/dev/null
wait_for 10 sway_window foot Native || fail "foot did not come to the front"
wait_for 12 indicator_off || fail "the indicator stayed on over foot ($(indicator_green_pixels) green pixels)"
swaymsg "[title=\"^Five Pages\"] focus" >/dev/null
wait_for 10 sway_titled "$evince_title" || fail "Evince did not come back to the front"
wait_for 12 indicator_on || fail "the indicator is not on back at Evince ($(indicator_green_pixels) green pixels)"
kill "$evince"
wait_for 10 sway_window foot Native || fail "foot did not come to the front after Evince"

# A full-screen X11 window in front: sway would map the panel behind it and keep the keyboard there,
# so Morvane asks it to leave full screen first, and the binding toggles the panel over it.
swaymsg '[title="^Terminal$"] focus' >/dev/null
swaymsg '[title="^Terminal$"] fullscreen enable' >/dev/null
wait_for 10 full_screen XTerm Terminal || fail "xterm did not go full screen"
wait_for 10 sway_window XTerm Terminal || fail "the full-screen xterm is not in front"
toggled_by "binding over a full-screen X11 window" press_binding
! full_screen XTerm Terminal || fail "the X11 window stayed full screen under the panel"
hidden_by "binding over a full-screen X11 window again" press_binding

# A full-screen native window in front, out of the X display's reach: sway maps the panel behind it
# and keeps the keyboard there. sway's tree says the panel is out of sight, so the next press asks
# for it again instead of hiding it: the panel is unmapped and mapped afresh, which sway holds as a new
# container (the X display sees it unmapped for a moment, so its map state alone cannot tell).
swaymsg '[title="^Native$"] focus' >/dev/null
swaymsg '[title="^Native$"] fullscreen enable' >/dev/null
wait_for 10 full_screen foot Native || fail "foot did not go full screen"
wait_for 10 sway_window foot Native || fail "the full-screen foot is not in front"
press_binding
wait_for 10 eval '! no_panel' || fail "over a full-screen window the binding did not map the panel"
# The panel's container while sway keeps it out of sight; nothing while sway holds no such panel.
covered_panel() { sway_window_list | awk -F'\t' '$1 == "Morvane" && $2 == "Morvane" && $3 == "False" { print $6 }'; }
covered=
panel_covered() { covered=$(covered_panel) && [ -n "$covered" ]; }
wait_for 10 panel_covered || fail "sway does not hold the panel behind the full-screen window: $(sway_windows)"
press_binding
mapped_afresh() { ! no_panel && sway_window_list | awk -F'\t' -v old="$covered" '$1 == "Morvane" && $2 == "Morvane" && $6 != old { found = 1 } END { exit !found }'; }
wait_for 10 mapped_afresh || fail "a press hid the panel that the full-screen window covers: $(sway_windows)"
# Once the window leaves full screen sway shows the panel, floating above it, without the keyboard:
# a press hides what the user sees, and the next brings the panel to the front.
swaymsg '[title="^Native$"] fullscreen disable' >/dev/null
wait_for 10 sway_window foot Native || fail "foot is not in front after leaving full screen"
panel_in_sight() { sway_window_list | awk -F'\t' '$1 == "Morvane" && $2 == "Morvane" && $3 == "True" { found = 1 } END { exit !found }'; }
wait_for 10 panel_in_sight || fail "sway does not show the panel once the window left full screen: $(sway_windows)"
hidden_by "binding over the panel in sight without the keyboard" press_binding
toggled_by "binding once the window left full screen" press_binding

kill "$app"
wait_for 10 app_exited || fail "morvane did not quit"
echo "PASS"
