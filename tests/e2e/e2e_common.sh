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
  # Every copy of Morvane also holds its one-copy lock in a folder of the temporary folder, where the
  # user's other sessions meet it: this session's own, or another run's copy would take its launches.
  export TMPDIR=$E2E_HOME/tmp
  mkdir -p "$TMPDIR"
  [ -z "${MORVANE_E2E_OWN_BUS:-}" ] || bus_sees_session_home
  library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
  # The system's folders stay (the GTK programs need their schemas, icons and MIME data), behind one of
  # the session's own that hides an installed Morvane's menu entry: the package on the machine never
  # decides a result. A script that means an installed entry puts it there.
  E2E_SYSTEM_DATA=$E2E_HOME/system-data
  mkdir -p "$E2E_SYSTEM_DATA/applications"
  printf '[Desktop Entry]\nType=Application\nName=Morvane\nHidden=true\n' \
    >"$E2E_SYSTEM_DATA/applications/morvane.desktop"
  export XDG_DATA_DIRS=$E2E_SYSTEM_DATA:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}
  start_window_manager
  [ -n "${MORVANE_E2E_NO_TRAY:-}" ] || start_tray
}

# own_bus "$0" "$@": runs the calling script again on a private session bus of its own, first thing.
# A script that reads the accessibility bus runs on one: start_session then hands the session's home
# to it before anything starts the accessibility bus, whose socket would otherwise be made in the
# user's real home, shared by every session of that user (another run takes that path or removes it).
own_bus() {
  [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -n "${MORVANE_E2E_OWN_BUS:-}" ] ||
    MORVANE_E2E_OWN_BUS=1 exec dbus-run-session -- "$@"
}

# The services the session bus starts (the accessibility bus, the desktop's calendar store) keep their
# files in this session's home and runtime folder, not in the user's real ones. Call it before
# anything can start them.
bus_sees_session_home() {
  dbus-update-activation-environment HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_RUNTIME_DIR
}

# as_unprivileged_user "$0" "$@": run as root (as CI does), runs the calling script again as an
# ordinary user made for the tests, first thing: some applications refuse root or change with it
# (Nemo shows a banner), and some servers will not hand out a root login.
as_unprivileged_user() {
  [ "$(id -u)" -eq 0 ] || return 0
  local user=morvane-e2e
  id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user" 2>/dev/null ||
    id "$user" >/dev/null 2>&1 || { echo "FAIL: cannot create the user $user" >&2; exit 1; }
  local script=$1 argument readable=1 arguments=()
  shift
  for argument in "$script" "$@"; do
    runuser -u "$user" -- test -r "$argument" || readable=
  done
  if [ -z "$readable" ]; then
    # A checkout the user cannot read (under root's home): the scripts and the programs they are given
    # are copied to a folder of the user's own, which the session removes at its end.
    MORVANE_E2E_COPY=$(mktemp -d /tmp/morvane-e2e-copy-XXXXXX)
    cp -r "$(dirname "$script")" "$MORVANE_E2E_COPY/e2e"
    script=$MORVANE_E2E_COPY/e2e/$(basename "$script")
    for argument in "$@"; do
      cp "$argument" "$MORVANE_E2E_COPY/"
      arguments+=("$MORVANE_E2E_COPY/$(basename "$argument")")
    done
    set -- "${arguments[@]}"
    chown -R "$user" "$MORVANE_E2E_COPY"
  fi
  exec runuser -u "$user" -- env PATH="$PATH" MORVANE_E2E_COPY="${MORVANE_E2E_COPY:-}" "$script" "$@"
}

# The window manager grabs its own keys and settles the keyboard as it starts: a script begins once it
# manages the screen.
start_window_manager() {
  local attempt pid
  # A second try: now and then (about one start in fifty) the window manager cannot open a display
  # that has only just come up, and exits at once.
  for attempt in 1 2; do
    openbox >>"$E2E_HOME/openbox.log" 2>&1 &
    pid=$!
    wait_for 10 window_manager_up "$pid" || true
    ! window_manager_running || return 0
    kill "$pid" 2>/dev/null || true
  done
  fail "the window manager did not start on $DISPLAY: $(tail -n 3 "$E2E_HOME/openbox.log")"
}

# Running, or its process (the pid given) has given up.
window_manager_up() { window_manager_running || ! kill -0 "$1" 2>/dev/null; }

window_manager_running() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# Starts a virtual X server that picks a free display number itself and says which: scripts started
# together then never share a display, as two can when each looks for a free number first.
# start_display [name]: a second one for another machine takes a name.
start_display() {
  local number=$E2E_HOME/display-number${1:+-$1}
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" 2>"$E2E_HOME/xvfb${1:+-$1}.log" &
  wait_for 10 test -s "$number" || fail "the X server ${1:-} did not start"
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
# The desktop's document portal, which GTK programs start, mounts a file system in the runtime folder:
# it is let go first, or the removal meets it.
end_session() {
  local running pid
  running=$(jobs -p)
  [ -z "$running" ] || kill $running 2>/dev/null || true
  # A program ending may still ask a settings service to write (Thunar its last view).
  for pid in $running; do wait_for 5 process_gone "$pid" || true; done
  stop_session_services
  local doc=${XDG_RUNTIME_DIR:-}/doc
  case $doc in "$E2E_HOME"/*)
    fusermount3 -uz "$doc" 2>/dev/null || fusermount -uz "$doc" 2>/dev/null || true
    ;;
  esac
  rm -rf "$E2E_HOME" ${MORVANE_E2E_COPY:+"$MORVANE_E2E_COPY"}
}

# The services the session's own bus started that write into its home as they end (Thunar's settings
# service writes its channels then): ended and waited for, so that they write before the home is
# removed, not after, when the bus goes. Only one running against this session's own config folder
# is ended: never the user's.
stop_session_services() {
  [ -n "${MORVANE_E2E_OWN_BUS:-}" ] || return 0
  local name pid
  for name in org.xfce.Xfconf; do
    pid=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null | awk '{print $2}') || continue
    [ -n "$pid" ] || continue
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "XDG_CONFIG_HOME=$XDG_CONFIG_HOME" || continue
    kill "$pid" 2>/dev/null || continue
    wait_for 10 process_gone "$pid" || echo "the bus service $name did not end" >&2
  done
}
process_gone() { ! kill -0 "$1" 2>/dev/null; }

# Starts the binary under test in the background, its output in $E2E_HOME/morvane.log; sets $app.
start_app() {
  "$binary" >"$E2E_HOME/morvane.log" 2>&1 &
  app=$!
}
# Starts it and waits for its tray icon and its library.
start_app_ready() {
  start_app
  wait_for 15 tray_window || fail "no tray icon appeared"
  wait_for 10 sql "SELECT COUNT(*) FROM links" || fail "no library at $library"
}
# quit_app [signal]: sends it (TERM by default); morvane exits with status 0.
quit_app() {
  kill -"${1:-TERM}" "$app"
  wait_for 10 app_exited || fail "morvane did not quit on SIG${1:-TERM}"
  wait "$app" || fail "morvane exited with status $? on SIG${1:-TERM}"
}
sql() { sqlite3 -cmd ".timeout 5000" "$library" "$1"; }
add_web_link() { # <id> <title> <url>: written into the library as another program would
  sql "INSERT INTO links (id, title, url, type, created_at, updated_at)
    VALUES ('$1', '$2', '$3', 'web', '2024-05-01T09:30:12.345Z', '2024-05-01T09:30:12.345Z')"
}

# start_probe <probe arguments...>: the probe reads lines from fd 3 and prints to $E2E_HOME/probe.out;
# sets $probe_pid.
start_probe() {
  [ -p "$E2E_HOME/probe.in" ] || mkfifo "$E2E_HOME/probe.in"
  "$probe" "$@" <"$E2E_HOME/probe.in" >"$E2E_HOME/probe.out" 2>>"$E2E_HOME/probe.log" &
  probe_pid=$!
  exec 3>"$E2E_HOME/probe.in"
}

# key_free <key>: another client can grab ctrl+super+<key> under every lock state (Control | Mod4,
# with Lock and Mod2).
key_free() {
  "$grabber" "$1" 0x44 0x46 0x54 0x56 >"$E2E_HOME/grab.out" 2>&1 &
  wait_for 10 grep -qx grabbed "$E2E_HOME/grab.out" || fail "ctrl+super+$1 is still held: $(cat "$E2E_HOME/grab.out")"
  kill $!
  wait $! || true
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
# The pids of every morvane of this session (other sessions may run on the same machine).
ours() {
  local pid
  for pid in $(pgrep -x morvane); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "HOME=$E2E_HOME" && echo "$pid"
  done
  return 0
}
# The mapped window titled "Morvane" that comes first: an alert or dialog while the panel is hidden.
dialog_window() { xdotool search --onlyvisible --name '^Morvane$' | head -1 | grep .; }

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

# The tray icon while no panel or dialog is up: our one mapped window named "Morvane".
tray_icon() {
  local w
  for w in $(xdotool search --onlyvisible --class '^morvane$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" != Morvane ] || { echo "$w"; return 0; }
  done
  return 1
}

# Our mapped window with this exact title, bigger than the tray icon (also "Morvane").
shown_window() {
  local w
  for w in $(xdotool search --onlyvisible --class '^morvane$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] || continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -lt 100 ] || { echo "$w"; return 0; }
  done
  return 1
}
not_shown() { ! shown_window "$1"; }
# client <window> <field>: the client's place and size on the screen as xwininfo says them
# (xdotool counts the frame's offset twice).
client() { xwininfo -id "$1" | sed -n "s/^ *$2: *//p"; }
# frame_centred <window>: the frame's centre is the work area's, to a pixel of rounding; sets dx, dy.
frame_centred() {
  local w=$1 left right top bottom area_x area_y area_w area_h x y width height
  read -r left right top bottom < <(xprop -id "$w" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  read -r area_x area_y area_w area_h < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4)
  x=$(client "$w" "Absolute upper-left X") y=$(client "$w" "Absolute upper-left Y")
  width=$(client "$w" Width) height=$(client "$w" Height)
  dx=$(((x - left) * 2 + width + left + right - area_x * 2 - area_w))
  dy=$(((y - top) * 2 + height + top + bottom - area_y * 2 - area_h))
  [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ]
}

# The tray menu's "Preferences…" (from the bottom: Quit Morvane, Check for Updates…, Preferences…).
open_preferences() {
  local before
  before=$(visible_windows)
  eval "$(xdotool getwindowgeometry --shell "$(tray_icon)")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  menu_open() { [ "$(visible_windows)" -gt "$before" ]; }
  wait_for 5 menu_open || fail "the tray menu did not open"
  xdotool key --delay 150 Up Up Up Return
  wait_for 10 shown_window "Morvane Preferences" || fail "Preferences… did not show the window"
}

# Typing goes to the focused field; the search runs in the background, so a key that acts on the
# selection waits until the selection is the one asked for (copying it shows it).
clipboard() { xclip -o -selection clipboard 2>/dev/null; }
copies() { # <expected>
  xdotool key ctrl+c
  [ "$(clipboard)" = "$1" ]
}
select_by_typing() { # <text> <url of the link it should select>
  xdotool type --delay 20 "$1"
  wait_for 10 copies "$2" || fail "typing \"$1\" did not select $2 (the clipboard holds: $(clipboard))"
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

# The text of the panel's search field, quoted, as the panel logs it (QT_LOGGING_RULES with
# "morvane.QuickPanel.debug=true" and MORVANE_LOG_PRIVATE=1).
typed_search() { grep -o 'Searching for ".*"$' "$E2E_HOME/morvane.log" | tail -n 1 | sed 's/^Searching for //'; }

# The mapped quick panel (or an alert, which is titled alike).
panel() { shown_window Morvane; }
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

# Turns the accessibility bus on in the script's own session bus (own_bus), as on a desktop with a
# screen reader: Morvane asks for it at start while it is off, and that question would stand in front
# of what a script looks at.
accessibility_on() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null ||
    fail "the accessibility bus cannot be turned on"
}

# Waits until the accessibility bus's registry answers: an application started before it does gives
# up registering after its first try and stays off the bus for good (seen on a loaded machine).
accessibility_ready() {
  local address
  address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.a11y.Bus.GetAddress | sed "s/^('\(.*\)',)$/\1/")
  wait_for 30 gdbus introspect --address "$address" --dest org.a11y.atspi.Registry \
    --object-path /org/a11y/atspi/accessible/root || fail "the accessibility registry did not answer"
}

# save_capture <check> <what>: Return in the panel over the window in front saves what it captured.
# The capture is read at the monitor's poll: until then Return finds nothing and hides the panel, so
# it is opened and tried again until check passes.
save_capture() {
  local attempt
  for attempt in 1 2 3 4 5 6 7 8; do
    panel >/dev/null || show_panel
    xdotool key Return
    ! wait_for 3 "$1" || break
  done
  "$1" || fail "$2 was not captured: $(sqlite3 "$XDG_DATA_HOME/Morvane/Morvane.sqlite" "SELECT title, url FROM links")"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not hide the panel"
}

# make_pdf <path> <pages> <title>: a small PDF of that many pages, each saying "Page N", with the title
# in its metadata and a cross-reference table a strict reader accepts.
make_pdf() {
  local path=$1 pages=$2 title=$3 kids="" n offsets=() body
  for ((n = 0; n < pages; n++)); do kids+="$((3 + 2 * n)) 0 R "; done
  body="%PDF-1.4"$'\n'
  add_object() { offsets+=("${#body}"); body+="$((${#offsets[@]})) 0 obj"$'\n'"$1"$'\n'"endobj"$'\n'; }
  add_object "<< /Type /Catalog /Pages 2 0 R >>"
  add_object "<< /Type /Pages /Kids [${kids% }] /Count $pages >>"
  for ((n = 1; n <= pages; n++)); do
    add_object "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 $((3 + 2 * pages)) 0 R >> >> /Contents $((4 + 2 * (n - 1))) 0 R >>"
    local text="BT /F1 48 Tf 72 700 Td (Page $n) Tj ET"
    add_object "<< /Length ${#text} >>"$'\n'"stream"$'\n'"$text"$'\n'"endstream"
  done
  add_object "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
  add_object "<< /Title ($title) /Producer (test data) >>"
  local count=$((${#offsets[@]} + 1)) xref=${#body}
  body+="xref"$'\n'"0 $count"$'\n'"0000000000 65535 f "$'\n'
  for n in "${offsets[@]}"; do body+=$(printf '%010d 00000 n ' "$n")$'\n'; done
  body+="trailer"$'\n'"<< /Size $count /Root 1 0 R /Info $((count - 1)) 0 R >>"$'\n'"startxref"$'\n'"$xref"$'\n'"%%EOF"$'\n'
  printf '%s' "$body" >"$path"
}

# The tray indicator, read from the screen where the tray host shows the icon, as a user sees it: on
# (the item in front is saved) when enough pixels are the indicator's green, off when none is (the
# plain icon is grey). Call it while no panel or dialog of morvane is up.
indicator_green_pixels() {
  local icon X Y WIDTH HEIGHT SCREEN
  icon=$(tray_icon) || return 1
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk '$2 > $1 + 40 && $2 > $3 + 40 { n++ } END { print n + 0 }'
}
indicator_on() { [ "$(indicator_green_pixels)" -ge 8 ]; }
indicator_off() { [ "$(indicator_green_pixels)" = 0 ]; }

# Stopping the desktop's services (SIGSTOP), for the scripts that check Morvane does not wait on them.
registry=org.gnome.evolution.dataserver.Sources5
calendars=org.gnome.evolution.dataserver.Calendar8
books=org.gnome.evolution.dataserver.AddressBook10
owner_pid() { # <bus name> [bus address, else the session bus]
  local bus=(--session)
  [ -z "${2:-}" ] || bus=(--address "$2")
  gdbus call "${bus[@]}" --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" | sed 's/^(uint32 \([0-9]*\),)$/\1/'
}
stopped=()
stop_pid() {
  kill -STOP "$1"
  stopped+=("$1")
}
stop_service() { # <bus name>
  local pid
  pid=$(owner_pid "$1") || fail "$1 is not running"
  stop_pid "$pid"
}
# The stopped services go on again, so that they end with the bus.
resume_services() {
  [ ${#stopped[@]} -eq 0 ] || kill -CONT "${stopped[@]}" 2>/dev/null || true
  stopped=()
}
# Stops the accessibility bus's daemon and its registry; sets $a11y_bus (the daemon's pid).
stop_accessibility_bus() {
  local address registry_pid
  address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.a11y.Bus.GetAddress | sed "s/^('\(.*\)',)$/\1/")
  registry_pid=$(owner_pid org.a11y.atspi.Registry "$address") || fail "no accessibility registry"
  a11y_bus=$(pgrep -P "$(owner_pid org.a11y.Bus)" dbus-daemon) || fail "no accessibility bus daemon"
  stop_pid "$registry_pid"
  stop_pid "$a11y_bus"
}
# Writing an event and a card (with $seed, the eds_seed program) starts the registry and both factories
# (which end again a while after their last client).
seed_stores() {
  local now
  now=$(date +%s)
  "$seed" event "Quarterly Zebra Review" $((now + 3600)) $((now + 7200)) >/dev/null || fail "could not write the event"
  "$seed" contact "Ann Zebrafish" "Okapi Works" >/dev/null || fail "could not write the card"
}
