# Shared by the end-to-end scripts: their own X server, an isolated home, and helpers that poll
# with a bound.

# Re-runs the calling script under its own X server (once), then gives it an isolated home, a
# window manager and a tray. Call it first, with the script's arguments.
start_session() {
  if [ -z "${MORVANE_E2E_INNER:-}" ]; then
    export MORVANE_E2E_INNER=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  fi
  make_home
  export QT_QPA_PLATFORM=xcb
  start_desktop
}

make_home() {
  E2E_HOME=$(mktemp -d /tmp/morvane-e2e-XXXXXX)
  export HOME=$E2E_HOME
  export XDG_CONFIG_HOME=$E2E_HOME/.config
  export XDG_DATA_HOME=$E2E_HOME/.local/share
  export XDG_RUNTIME_DIR=$E2E_HOME/.runtime
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${E2E_HOME:-}" ] && command -v import >/dev/null; then
    import -window root "$E2E_HOME/failure.png" 2>/dev/null && echo "screenshot: $E2E_HOME/failure.png" >&2
  fi
  exit 1
}

# wait_for <seconds> <command...>: polls every 0.2 s until the command succeeds.
wait_for() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

# Starts openbox and trayer on the current display.
start_desktop() {
  openbox >/dev/null 2>&1 &
  trayer --edge top --align right --widthtype request --height 32 >/dev/null 2>&1 &
  wait_for 10 xdotool search --class trayer || fail "trayer did not start"
}

# The tray icon's window: class "morvane", named "Morvane".
tray_window() {
  local w
  for w in $(xdotool search --class '^morvane$' 2>/dev/null); do
    if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "Morvane" ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}
