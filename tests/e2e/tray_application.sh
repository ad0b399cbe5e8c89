#!/usr/bin/env bash
# Starts morvane under its own X server with a window manager and a tray, checks that it stays up
# with its tray icon and its library, and quits it from the tray menu; started again, it quits on
# SIGTERM the same way.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
start_session "$@"

"$binary" >"$E2E_HOME/morvane.log" 2>&1 &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT

wait_for 15 tray_window || fail "no tray icon appeared"
sleep 1
kill -0 $app 2>/dev/null || fail "morvane exited on its own"

# The library was created, user-only, with its six tables and indexes.
library=$XDG_DATA_HOME/Morvane/Morvane.sqlite
[ -f "$library" ] || fail "no library at $library"
[ "$(stat -c %a "$XDG_DATA_HOME/Morvane")" = 700 ] || fail "library folder is not user-only"
tables=$(sqlite3 "$library" "SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name)")
[ "$tables" = "deleted_records link_local_resolutions link_relations link_tags links tags" ] || fail "tables: $tables"
indexes=$(sqlite3 "$library" "SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite_autoindex%' ORDER BY rowid)")
expected="links_search_idx links_url_idx links_file_identity_idx links_content_hash_idx"
expected+=" local_resolution_file_identity_idx local_resolution_content_hash_idx relation_from_idx"
expected+=" relation_to_idx deleted_records_deleted_at_idx link_tags_tag_idx"
[ "$indexes" = "$expected" ] || fail "indexes: $indexes"

# The tray menu opens on a left click (as on a right click); its last item is "Quit Morvane".
eval "$(xdotool getwindowgeometry --shell "$(tray_window)")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 1
xdotool key Up Return

wait_for 10 bash -c "! kill -0 $app" || fail "morvane did not quit from its tray menu"
wait $app || fail "morvane exited with status $?"

"$binary" >>"$E2E_HOME/morvane.log" 2>&1 &
app=$!
wait_for 15 tray_window || fail "no tray icon appeared on the second start"
kill -TERM $app
wait_for 10 bash -c "! kill -0 $app" || fail "morvane did not quit on SIGTERM"
wait $app || fail "morvane exited with status $? on SIGTERM"
echo "PASS"
