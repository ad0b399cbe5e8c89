#!/usr/bin/env bash
# Runs desktop_capture_bench against the real applications: Zathura and Evince on a five-page PDF at
# page 3, Nautilus and Thunar (list view) with a file selected, Thunderbird with a message selected,
# each on a virtual display of its own with a private session bus and the accessibility bus on.
# Usage: bench/capture/desktop_capture_bench.sh build/bench/capture/desktop_capture_bench [benchmark options]
set -euo pipefail
bench=$(realpath "$1")
shift
[ -n "${MORVANE_BENCH_BUS:-}" ] || MORVANE_BENCH_BUS=1 exec dbus-run-session -- "$0" "$bench" "$@"
data=$(cd "$(dirname "$0")/../../tests/e2e/data" && pwd)
export HOME=$(mktemp -d /tmp/morvane-bench-XXXXXX)
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_RUNTIME_DIR=$HOME/.runtime
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
trap 'kill $(jobs -p) 2>/dev/null || true; fusermount -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; rm -rf "$HOME"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$HOME/display" 2>/dev/null &
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || { echo "timed out: $*" >&2; exit 1; }
    sleep 0.1
  done
}
wait_for 10 test -s "$HOME/display"
export DISPLAY=:$(head -n 1 "$HOME/display")
# The accessibility bus the session bus starts keeps its socket in this run's own runtime folder, not
# in one that another run on the machine shares.
dbus-update-activation-environment HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_RUNTIME_DIR DISPLAY
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
openbox >/dev/null 2>&1 &
wait_for 10 bash -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
window() { xdotool search --name "$1" | head -n 1; }
thunar_listening() {
  [ "$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.xfce.FileManager)" = "(true,)" ]
}

docs=$HOME/Docs
mkdir -p "$docs/Sub dir" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
# make_pdf only: the rest of the end-to-end helpers expect a session of their own.
eval "$(sed -n '/^make_pdf() {/,/^}/p' "$data/../e2e_common.sh")"
make_pdf "$docs/Five Pages.pdf" 5 "Quarterly Figures"
printf 'notes\n' >"$docs/Notes.txt"
cat >"$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0"><property name="last-view" type="string" value="ThunarDetailsView"/></channel>
XML

zathura -P 3 "$docs/Five Pages.pdf" >/dev/null 2>&1 &
export MORVANE_BENCH_ZATHURA_PID=$!
evince --page-index=3 "$docs/Five Pages.pdf" >/dev/null 2>&1 &
export MORVANE_BENCH_EVINCE_PID=$! MORVANE_BENCH_EVINCE_TITLE="Five Pages.pdf — Quarterly Figures"
nautilus --select "$docs/Notes.txt" >/dev/null 2>&1 &
wait_for 30 window '^Docs$'
export MORVANE_BENCH_NAUTILUS_PID=$(xdotool search --name '^Docs$' getwindowpid | head -n 1)
export MORVANE_BENCH_NAUTILUS_TITLE=Docs MORVANE_BENCH_NAUTILUS_PATH=/org/gnome/Nautilus/window/1
mkdir -p "$HOME/.thunderbird"
cp -r "$data/thunderbird-profile" "$HOME/.thunderbird/bench"
thunderbird --profile "$HOME/.thunderbird/bench" >/dev/null 2>&1 &
wait_for 60 window '^Local Folders - Mozilla Thunderbird$'
xdotool windowactivate --sync "$(window ' - Mozilla Thunderbird$')"
xdotool mousemove 143 132 click 1
xdotool key Right Down
wait_for 20 window '^Inbox - Local Folders - Mozilla Thunderbird$'
# The thread pane lists the folder once Thunderbird has made its summary: a key before that selects
# nothing.
wait_for 30 test -e "$HOME/.thunderbird/bench/Mail/Local Folders/Inbox.msf"
xdotool key n
export MORVANE_BENCH_THUNDERBIRD_PID=$(xdotool search --name '^Inbox - Local Folders - Mozilla Thunderbird$' getwindowpid | head -n 1)
export MORVANE_BENCH_THUNDERBIRD_TITLE="Inbox - Local Folders - Mozilla Thunderbird"
thunar --daemon >/dev/null 2>&1 &
# Asked before the daemon owns its name, the bus would start another Thunar of its own.
wait_for 30 thunar_listening
wait_for 30 gdbus call --session --dest org.xfce.FileManager --object-path /org/xfce/FileManager \
  --method org.xfce.FileManager.DisplayFolderAndSelect "file://$docs" Notes.txt "$DISPLAY" ""
wait_for 30 window '^Docs - Thunar$'
export MORVANE_BENCH_THUNAR_PID=$(xdotool search --name '^Docs - Thunar$' getwindowpid | head -n 1)
export MORVANE_BENCH_THUNAR_TITLE="Docs - Thunar"
wait_for 20 window "Five Pages.pdf — Quarterly Figures"
"$bench" "$@"
