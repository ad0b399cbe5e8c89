#!/usr/bin/env bash
# The installed Evolution Data Server still answers every member the calendar and contacts module calls,
# with the signatures it calls them with: its registry and a source of it, both factories, and the
# calendar, address book and views their Open... calls answer, on a private session bus whose service
# keeps its files in a home of this test's own. An update of the service that renames, drops or changes
# one of them fails here rather than in a user's capture.
set -euo pipefail
module=$1
. "$(dirname "$0")/e2e_common.sh"
own_bus "$0" "$@"
E2E_HOME=$(mktemp -d /tmp/morvane-e2e-XXXXXX)
trap 'rm -rf "$E2E_HOME"' EXIT
[ -x /usr/libexec/evolution-calendar-factory ] || fail "evolution-data-server is not installed"
export HOME=$E2E_HOME XDG_CONFIG_HOME=$E2E_HOME/.config XDG_DATA_HOME=$E2E_HOME/.local/share
export XDG_CACHE_HOME=$E2E_HOME/.cache XDG_RUNTIME_DIR=$E2E_HOME/.runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
bus_sees_session_home
# The system's interpreter, which has the GLib bindings.
/usr/bin/python3 "$(dirname "$0")/eds_interfaces.py" "$module" || fail "the service does not answer as the module calls it"
echo "PASS"
