# Shared by the end-to-end scripts: their own X server, an isolated home that is removed on exit,
# and helpers that poll with a bound instead of sleeping.

# Gives the calling script its own X server, an isolated home, a window manager and a tray. Call it
# first, with the script's arguments.
start_session() {
  E2E_HOME=$(mktemp -d /tmp/morvane-e2e-XXXXXX)
  trap end_session EXIT
  start_display
  export HOME=$E2E_HOME XDG_CONFIG_HOME=$E2E_HOME/.config XDG_DATA_HOME=$E2E_HOME/.local/share
  export XDG_RUNTIME_DIR=$E2E_HOME/.runtime QT_QPA_PLATFORM=xcb
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  # The services a bus of the script's own starts (the desktop's calendar store among them) keep their
  # files in this home too.
  [ -z "${MORVANE_E2E_OWN_BUS:-}" ] ||
    dbus-update-activation-environment HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_RUNTIME_DIR
  openbox >/dev/null 2>&1 &
  # The window manager grabs its own keys and settles the keyboard as it starts: a script begins
  # once it manages the screen.
  wait_for 10 window_manager_running || fail "the window manager did not start"
  [ -n "${MORVANE_E2E_NO_TRAY:-}" ] || start_tray
}

window_manager_running() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# Starts a virtual X server that picks a free display number itself and says which: scripts started
# together then never share a display, as two can when each looks for a free number first.
start_display() {
  local number=$E2E_HOME/display-number
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" 2>"$E2E_HOME/xvfb.log" &
  wait_for 10 test -s "$number" || fail "the X server did not start"
  export DISPLAY=:$(head -n 1 "$number")
  unset XAUTHORITY
}

# Starts the tray host (start_session does, unless MORVANE_E2E_NO_TRAY is set).
start_tray() {
  local attempt
  # A second try: on a loaded machine the tray host now and then gives up on its first start.
  for attempt in 1 2; do
    trayer --edge top --align right --widthtype request --height 32 >>"$E2E_HOME/trayer.log" 2>&1 &
    ! wait_for 10 xdotool search --class trayer || return 0
    kill $! 2>/dev/null || true
  done
  fail "trayer did not start"
}

# Stops whatever the script left running (morvane, the window manager, the tray) and removes the home.
end_session() {
  local running
  running=$(jobs -p)
  [ -z "$running" ] || kill $running 2>/dev/null || true
  rm -rf "$E2E_HOME"
}

# Starts the binary under test in the background, its output in $E2E_HOME/morvane.log; sets $app.
start_app() {
  "$binary" >"$E2E_HOME/morvane.log" 2>&1 &
  app=$!
}

# Fails the script, with the logs in its home (which is about to be removed).
fail() {
  echo "FAIL: $*" >&2
  local log
  for log in "$E2E_HOME"/*.log; do
    [ ! -f "$log" ] || sed "s|^|$(basename "$log"): |" "$log" >&2
  done
  exit 1
}

# wait_for <seconds> <command...>: polls every 0.1 s until the command succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

app_exited() { ! kill -0 "$app" 2>/dev/null; }

# The number of mapped windows of morvane's class: the tray icon, then menus and dialogs.
visible_windows() { xdotool search --onlyvisible --class '^morvane$' 2>/dev/null | wc -l; }

# The tray icon's window: class "morvane", named "Morvane".
tray_window() {
  local w
  for w in $(xdotool search --class '^morvane$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" != "Morvane" ] || { echo "$w"; return 0; }
  done
  return 1
}

# Windows of other applications, which the session stops at its end.
window_titled() { xdotool search --name "^$1\$" | head -n 1; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
activate() {
  xdotool windowactivate "$1" 2>/dev/null || true
  wait_for 10 active_is "$1" || fail "window $1 did not become active"
}
# open <title> <command...>: starts a window with this title and brings it to the front.
open() {
  local title=$1; shift
  "$@" &
  wait_for 15 window_titled "$title" || fail "window $title did not appear"
  activate "$(window_titled "$title")"
}

# A stand-in browser made the desktop's https handler: it only writes down, in $opened, each URL it
# was given.
use_stand_in_browser() {
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID BROWSER
  opened=$E2E_HOME/opened.txt
  touch "$opened"
  mkdir -p "$XDG_DATA_HOME/applications"
  cat >"$E2E_HOME/browser" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$1" >>"$opened"
SCRIPT
  chmod +x "$E2E_HOME/browser"
  cat >"$XDG_DATA_HOME/applications/e2e-browser.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=E2E Browser
Exec=$E2E_HOME/browser %u
MimeType=x-scheme-handler/https;
NoDisplay=true
ENTRY
  xdg-mime default e2e-browser.desktop x-scheme-handler/https
}

# The mapped quick panel: ours, titled "Morvane", and bigger than the tray icon of the same name.
panel() {
  local w
  for w in $(xdotool search --onlyvisible --class '^morvane$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Morvane ] || continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -lt 100 ] || { echo "$w"; return 0; }
  done
  return 1
}
no_panel() { ! panel; }
# The shortcut maps the panel and it takes the focus; sets $w.
panel_active() { [ -n "${w:-}" ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$w" ]; }
show_panel() {
  xdotool key ctrl+super+l
  wait_for 10 panel || fail "ctrl+super+l did not map the panel"
  w=$(panel)
  wait_for 5 panel_active || fail "the panel did not take the focus"
}

# The links and relations tables as the library's first version made them (the store adds what later
# versions need), for a script that writes its library with sqlite3.
first_library_tables() {
  cat <<'SQL'
CREATE TABLE links (id TEXT PRIMARY KEY, title TEXT NOT NULL, url TEXT NOT NULL, type TEXT NOT NULL,
  source_app TEXT NOT NULL DEFAULT '', notes TEXT NOT NULL DEFAULT '', created_at TEXT NOT NULL,
  updated_at TEXT NOT NULL, last_opened_at TEXT);
CREATE TABLE link_relations (id TEXT PRIMARY KEY,
  from_link_id TEXT NOT NULL REFERENCES links(id) ON DELETE CASCADE,
  to_link_id TEXT NOT NULL REFERENCES links(id) ON DELETE CASCADE,
  created_at TEXT NOT NULL, UNIQUE(from_link_id, to_link_id));
SQL
}
