#!/usr/bin/env bash
# The package's files as an installation lays them out (an unpacked package named first in the data
# and program paths, its desktop database made as dpkg's trigger makes it): a morvane:// link followed
# through the desktop starts the packaged program through its menu entry and opens the saved item; the
# program writes no entry for the scheme in the user's folder, since the system's entry takes it.
# Usage: installed_package.sh <unpacked package root>
set -euo pipefail
root=$(realpath "$1")
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"
use_stand_in_browser
export PATH=$root/usr/bin:$PATH XDG_DATA_DIRS=$root/usr/share:/usr/local/share:/usr/share
update-desktop-database "$root/usr/share/applications"
[ "$(xdg-mime query default x-scheme-handler/morvane)" = morvane.desktop ] ||
  fail "the package's entry does not take morvane: links"

running() { [ -n "$(ours)" ]; }
opened_url() { [ "$(cat "$opened")" = "$1" ]; }

# The library exists before the first start, as another program (or a restore) would leave it.
mkdir -p "$(dirname "$library")"
first_library_tables | sqlite3 "$library"
id=0E984725-C51C-4BF4-9960-E1C80E27ABA0
add_web_link "$id" Packaged "https://example.com/packaged"
# Without a desktop environment xdg-open runs the entry's command and waits for it.
xdg-open "morvane://open/$id" >"$E2E_HOME/morvane.log" 2>&1 &
wait_for 15 running || fail "the link did not start morvane through the package's entry"
app=$(ours | head -n 1)
[ "$(readlink "/proc/$app/exe")" = "$root/usr/bin/morvane" ] || fail "the link started $(readlink "/proc/$app/exe")"
wait_for 15 opened_url "https://example.com/packaged" || fail "the saved item did not open: $(cat "$opened")"
[ ! -e "$XDG_DATA_HOME/applications/morvane.desktop" ] || fail "a user entry for the scheme was written"
kill -TERM "$app"
wait_for 10 bash -c "! kill -0 $app 2>/dev/null" || fail "the packaged morvane did not quit on SIGTERM"
echo "installed package: passed"
