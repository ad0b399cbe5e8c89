#!/usr/bin/env bash
# One running copy per user, and nobody else can answer for it. A runtime folder others may write
# into is not used: a listener of another user there is handed nothing, and the start runs from the
# private folder. A lock that cannot be taken in the runtime folder (the lock file a link, the folder
# missing) is taken in the private folder, so a second start hands over to the first; when the private
# folder is not this user's alone either, a start says why (standard error, and an alert with a
# display) and exits 1. Something other than a socket where the copy listens is named by the running
# copy and by a later start. Starts whose session names another runtime folder, or none, or whose
# runtime folder was opened to others or removed since the copy started, still hand over to it. When
# another user made the private folder first, the lock beside the library still keeps one copy on it.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
# The private folder is made in the temporary folder: the session's own, not the machine's.
fallback=$TMPDIR/morvane-$(id -u)
runtime=$XDG_RUNTIME_DIR
id=6F9619FF-8B86-D011-B42D-00C04FC964FF

count() { ours | wc -l; }
one_running() { [ "$(count)" -eq 1 ]; }
logged() { grep -qF "$1" "$E2E_HOME/morvane.log"; }
# How many hand-overs the running copy has taken.
received() { grep -c "Received .* morvane URL(s)" "$E2E_HOME/morvane.log" || true; }
received_more_than() { [ "$(received)" -gt "$1" ]; }

# second_start_hands_over <case> [env arguments...]: a start beside the running copy (with its
# environment changed so) hands over and leaves.
second_start_hands_over() {
  local status=0 case=$1 before
  shift
  before=$(received)
  timeout 10 env "$@" "$binary" >"$E2E_HOME/second.log" 2>&1 || status=$?
  [ $status -eq 0 ] || fail "$case: a second start exited with status $status: $(cat "$E2E_HOME/second.log")"
  one_running || fail "$case: $(count) copies run on one library"
  ! grep -qF "Failed to register global hotkey" "$E2E_HOME/morvane.log" "$E2E_HOME/second.log" ||
    fail "$case: two copies competed for the shortcuts"
  wait_for 5 received_more_than "$before" || fail "$case: the running copy was handed nothing"
}

# A runtime folder every user may write into, where another user's process took the lock and listens
# first, answering as a running copy would and writing down what it is handed. Run as root (as CI
# is), it is nobody's; otherwise it is ours, and only the folder's mode keeps the start away.
shared=$E2E_HOME/shared
chmod 711 "$E2E_HOME"
mkdir -m 1777 "$shared"
impostor=(/usr/bin/python3 -c '
import fcntl, os, socket, struct, sys
folder = sys.argv[1]
lock = os.open(folder + "/morvane.lock", os.O_RDWR | os.O_CREAT, 0o666)
fcntl.flock(lock, fcntl.LOCK_EX)
server = socket.socket(socket.AF_UNIX)
server.bind(folder + "/morvane.socket")
os.chmod(folder + "/morvane.socket", 0o777)
server.listen(8)
print("listening", flush=True)
while True:
    connection, _ = server.accept()
    def exactly(size):
        data = b""
        while len(data) < size:
            chunk = connection.recv(size - len(data))
            if not chunk:
                raise EOFError
            data += chunk
        return data
    try:
        count = struct.unpack(">I", exactly(4))[0]
        for _ in range(count):
            print("handed", exactly(struct.unpack(">I", exactly(4))[0]).decode(), flush=True)
        connection.sendall(struct.pack(">I", count))
    except EOFError:
        pass
    connection.close()
' "$shared")
if [ "$(id -u)" -eq 0 ]; then
  runuser -u nobody -- "${impostor[@]}" >"$E2E_HOME/impostor.log" 2>&1 &
else
  "${impostor[@]}" >"$E2E_HOME/impostor.log" 2>&1 &
fi
impostor_pid=$!
wait_for 10 grep -qx listening "$E2E_HOME/impostor.log" || fail "the other user's listener did not start"
XDG_RUNTIME_DIR=$shared start_app_ready
one_running || fail "the start handed over to the other user's listener and left"
XDG_RUNTIME_DIR=$shared "$binary" "morvane://open/$id" || fail "a start with a link exited with status $?"
one_running || fail "$(count) copies run beside the other user's listener"
! grep -q handed "$E2E_HOME/impostor.log" || fail "the other user was handed: $(cat "$E2E_HOME/impostor.log")"
[ -S "$fallback/morvane.socket" ] || fail "the running copy does not listen in $fallback"
logged "is not used for the single-instance lock: others may write into the folder" ||
  fail "the passed-over runtime folder went unmentioned"
kill "$impostor_pid"
quit_app

# The lock file a link in the runtime folder: the lock is taken in the private folder instead, and a
# second start finds it there.
: >"$E2E_HOME/morvane.log"
ln -s "$E2E_HOME/elsewhere" "$runtime/morvane.lock"
start_app_ready
second_start_hands_over "a linked lock file"
logged "a symbolic link" || fail "the linked lock file went unmentioned"
[ ! -e "$E2E_HOME/elsewhere" ] || fail "the lock was taken through the link"
quit_app
rm "$runtime/morvane.lock"

# Starts from other sessions of the same user on the same display: one whose runtime folder is another,
# one without any (su, ssh), one after the copy's runtime folder was opened to others, and one after it
# was removed and made again (a logout and a login while the copy runs on). Each hands over.
first_runtime=$E2E_HOME/first-runtime
mkdir -m 700 "$first_runtime" "$E2E_HOME/other-runtime"
XDG_RUNTIME_DIR=$first_runtime start_app_ready
second_start_hands_over "another runtime folder" XDG_RUNTIME_DIR="$E2E_HOME/other-runtime"
second_start_hands_over "no runtime folder" -u XDG_RUNTIME_DIR
chmod 1777 "$first_runtime"
second_start_hands_over "the runtime folder opened to others" XDG_RUNTIME_DIR="$first_runtime"
rm -rf "$first_runtime"
mkdir -m 700 "$first_runtime"
second_start_hands_over "the runtime folder made again" XDG_RUNTIME_DIR="$first_runtime"
quit_app

# The runtime folder missing (the running copy's toolkit makes it later: the second start sees it).
XDG_RUNTIME_DIR=$E2E_HOME/missing start_app_ready
second_start_hands_over "a missing runtime folder" XDG_RUNTIME_DIR="$E2E_HOME/missing"
quit_app

# Neither folder is this user's alone: the start says why and does not run, with or without a display.
if [ "$(id -u)" -eq 0 ]; then chown nobody "$fallback"; else chmod 777 "$fallback"; fi
rm -rf "$E2E_HOME/missing" "$XDG_DATA_HOME/Morvane"
status=0
XDG_RUNTIME_DIR=$E2E_HOME/missing env -u DISPLAY "$binary" 2>"$E2E_HOME/nowhere.err" || status=$?
[ $status -eq 1 ] || fail "a start without a lock and without a display exited with status $status"
grep -qF "Morvane cannot make sure that only one copy of it runs: $fallback" "$E2E_HOME/nowhere.err" ||
  fail "a start without a lock did not say why: $(cat "$E2E_HOME/nowhere.err")"
rm -rf "$E2E_HOME/missing"
XDG_RUNTIME_DIR=$E2E_HOME/missing start_app
wait_for 15 dialog_window || fail "a start without a lock showed no alert"
dialog=$(dialog_window)
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$dialog" ]; }
wait_for 5 active || xdotool windowactivate --sync "$dialog"
xdotool key Return
wait_for 10 app_exited || fail "a start without a lock kept running after its alert"
status=0
wait "$app" || status=$?
[ $status -eq 1 ] || fail "a start without a lock exited with status $status"
grep -qF "Morvane cannot make sure that only one copy of it runs" "$E2E_HOME/morvane.log" ||
  fail "a start without a lock said nothing on standard error"
[ ! -e "$library" ] || fail "a start without a lock opened the library"
[ -z "$(tray_window || true)" ] || fail "a start without a lock showed a tray icon"
if [ "$(id -u)" -eq 0 ]; then chown root "$fallback"; else chmod 700 "$fallback"; fi

# A folder where the running copy listens: it says so, and a later start names it at once rather than
# wait for an answer.
: >"$E2E_HOME/morvane.log"
mkdir "$runtime/morvane.socket"
start_app_ready
wait_for 10 logged "morvane.socket is a folder, not a socket" || fail "the running copy did not name the folder"
status=0
started=$(date +%s%N)
timeout 10 "$binary" "morvane://open/$id" 2>"$E2E_HOME/blocked.err" || status=$?
elapsed=$((($(date +%s%N) - started) / 1000000))
[ $status -eq 1 ] || fail "a start that cannot reach the running copy exited with status $status"
grep -qF "Morvane is already running but cannot be reached: $runtime/morvane.socket is a folder, not a socket" \
  "$E2E_HOME/blocked.err" || fail "the later start did not name the folder: $(cat "$E2E_HOME/blocked.err")"
[ $elapsed -lt 2000 ] || fail "the later start took ${elapsed} ms to say so"
one_running || fail "$(count) copies are running"
quit_app

# The private folder's name taken first by another user, in the shared temporary folder (sticky, or open
# to all): a plain folder, one holding that user's own lock and listener, a link to that user's folder.
# The first start runs from its runtime folder and says once which folder it passed over; the lock beside
# the library keeps a start from another session (another runtime folder) off the library: it hands its
# link to the running copy, or, when it cannot reach it (as from another computer sharing the home), says
# so naming the library, and exits 1. Run as root, the folders are nobody's; otherwise they are ours, open
# to all, which passes them over the same way.
as_other() { if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
other_mode=700
[ "$(id -u)" -eq 0 ] || other_mode=777
passed_over() { grep -c "Passed over for the single-instance lock: $fallback: " "$1" || true; }
export MORVANE_LOG_PRIVATE=1
for case in "a plain folder" "a folder with its own lock and listener" "a link to its own folder" \
  "a plain folder in a temporary folder open to all"; do
  rm -rf "$fallback" "$TMPDIR/theirs" "$E2E_HOME/r1" "$E2E_HOME/r2"
  chmod 1777 "$TMPDIR"
  listener=
  case $case in
  "a plain folder") as_other mkdir -m "$other_mode" "$fallback" ;;
  "a folder with its own lock and listener")
    as_other mkdir -m 1777 "$fallback"
    if [ "$(id -u)" -eq 0 ]; then
      runuser -u nobody -- "${impostor[@]:0:3}" "$fallback" >"$E2E_HOME/impostor.log" 2>&1 &
    else
      "${impostor[@]:0:3}" "$fallback" >"$E2E_HOME/impostor.log" 2>&1 &
    fi
    listener=$!
    wait_for 10 grep -qx listening "$E2E_HOME/impostor.log" || fail "$case: the other user's listener did not start"
    ;;
  "a link to its own folder")
    as_other mkdir -m "$other_mode" "$TMPDIR/theirs"
    as_other ln -s "$TMPDIR/theirs" "$fallback"
    ;;
  *)
    chmod 777 "$TMPDIR"
    as_other mkdir -m "$other_mode" "$fallback"
    ;;
  esac
  mkdir -m 700 "$E2E_HOME/r1" "$E2E_HOME/r2"
  : >"$E2E_HOME/morvane.log"
  XDG_RUNTIME_DIR=$E2E_HOME/r1 start_app_ready
  [ "$(passed_over "$E2E_HOME/morvane.log")" -eq 1 ] ||
    fail "$case: the passed-over folder was not named once: $(grep -F "passed over" "$E2E_HOME/morvane.log")"
  second_start_hands_over "$case" XDG_RUNTIME_DIR="$E2E_HOME/r2"
  [ -z "$listener" ] || ! grep -q handed "$E2E_HOME/impostor.log" || fail "$case: the other user was handed a link"

  # Out of reach: the running copy's listener gone, as another computer's is.
  rm "$E2E_HOME/r1/morvane.socket"
  status=0
  XDG_RUNTIME_DIR=$E2E_HOME/r2 timeout 20 env -u DISPLAY "$binary" "morvane://open/$id" \
    2>"$E2E_HOME/unreachable.err" || status=$?
  [ $status -eq 1 ] || fail "$case: a start that cannot reach the running copy exited with status $status"
  grep -qF "Morvane is already running on this library ($library) and cannot be reached" \
    "$E2E_HOME/unreachable.err" || fail "$case: the start did not name the library: $(cat "$E2E_HOME/unreachable.err")"
  [ "$(passed_over "$E2E_HOME/unreachable.err")" -eq 1 ] || fail "$case: the passed-over folder was not named once"
  one_running || fail "$case: $(count) copies run on one library"
  if [ "$case" = "a plain folder" ]; then
    # With a display, the user who started it from a menu is told in an alert.
    first_app=$app
    XDG_RUNTIME_DIR=$E2E_HOME/r2 "$binary" >"$E2E_HOME/turned-away.log" 2>&1 &
    app=$!
    # Its own window: the running copy shows its panel for the start that handed over.
    alert_window() { xdotool search --all --onlyvisible --pid "$app" --name '^Morvane$' | head -1 | grep .; }
    wait_for 15 alert_window || fail "$case: a start that cannot reach the running copy showed no alert"
    dialog=$(alert_window)
    wait_for 5 active || xdotool windowactivate --sync "$dialog"
    xdotool key Return
    wait_for 10 app_exited || fail "$case: the turned-away start kept running after its alert"
    status=0
    wait "$app" || status=$?
    [ $status -eq 1 ] || fail "$case: the turned-away start exited with status $status"
    grep -qF "already running on this library ($library)" "$E2E_HOME/turned-away.log" ||
      fail "$case: the turned-away start said nothing on standard error"
    app=$first_app
    one_running || fail "$case: $(count) copies run after the alert"
  fi
  quit_app
  if [ -n "$listener" ]; then
    kill "$listener"
    wait "$listener" 2>/dev/null || true
  fi
done
unset MORVANE_LOG_PRIVATE
chmod 1777 "$TMPDIR"
echo "single copy: passed"
