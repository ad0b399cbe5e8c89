#!/usr/bin/env bash
# The command line through the real binary. --help and --version answer without a display and without a
# running copy; a mistyped option is refused with status 2 and the usage line on standard error, with
# or without a running copy (whose windows it leaves alone); --preferences, --graph and --quit are
# handed to the running copy, which opens Preferences, shows the graph and quits with status 0; --quit
# with no running copy starts nothing.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
without_display() { env -u DISPLAY -u WAYLAND_DISPLAY "$binary" "$@"; }
usage="Usage: morvane [options] [morvane://open/<id> ...]"

help=$(without_display --help) || fail "--help exited with status $?"
for word in --quick-panel --graph --preferences --quit --help --version "morvane://open/<id>"; do
  grep -qF -- "$word" <<<"$help" || fail "--help does not name $word: $help"
done
[ "$(head -n 1 <<<"$help")" = "$usage" ] || fail "--help does not start with the usage line: $help"
version=$(without_display --version) || fail "--version exited with status $?"
grep -Eqx 'Morvane [0-9]+\.[0-9]+\.[0-9]+' <<<"$version" || fail "--version printed: $version"

# refused <when> <command...>: the command refuses --quickpanel with status 2, printing only the
# option's name and the usage line, on standard error.
refused() {
  local when=$1 status=0 out
  shift
  out=$("$@" --quickpanel 2>"$E2E_HOME/stderr") || status=$?
  [ $status -eq 2 ] || fail "--quickpanel $when exited with status $status"
  [ -z "$out" ] || fail "--quickpanel $when printed on standard output: $out"
  [ "$(cat "$E2E_HOME/stderr")" = "morvane: unknown option '--quickpanel'"$'\n'"$usage" ] ||
    fail "--quickpanel $when printed: $(cat "$E2E_HOME/stderr")"
}
refused "without a display or a running copy" without_display
refused "without a running copy" "$binary"
[ ! -e "$library" ] || fail "a refused command line made a library"
status=0
"$binary" --quit || status=$?
[ $status -eq 0 ] && [ ! -e "$library" ] || fail "--quit without a running copy ($status) started one"

start_app_ready
refused "with a running copy" "$binary"
[ "$(without_display --version)" = "$version" ] || fail "--version with a running copy"
[ "$(visible_windows)" -eq 1 ] || fail "a refused command line showed a window of the running copy"

"$binary" --preferences || fail "--preferences exited with status $?"
wait_for 10 shown_window "Morvane Preferences" || fail "--preferences did not open the running copy's Preferences"
"$binary" --graph || fail "--graph exited with status $?"
wait_for 10 shown_window "Morvane Graph" || fail "--graph did not show the running copy's graph"
"$binary" --quit || fail "--quit exited with status $?"
wait_for 10 app_exited || fail "--quit did not end the running copy"
wait "$app" || fail "the running copy quit with status $? on --quit"
echo "command line: passed"
