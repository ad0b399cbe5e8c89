#!/usr/bin/env bash
# run_with_eds.sh <eds_seed> <benchmark> [benchmark arguments...]: runs the benchmark on a private
# session bus whose Evolution Data Server keeps, in a home of its own, 1,000 events and 1,000 cards
# (10 of each under MORVANE_BENCH_SMOKE=1).
set -euo pipefail
seed=$1
shift
home=$(mktemp -d /tmp/morvane-eds-bench-XXXXXX)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache
export XDG_RUNTIME_DIR=$home/.runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
count=1000
[ "${MORVANE_BENCH_SMOKE:-}" != 1 ] || count=10
exec dbus-run-session -- bash -c '"$1" bulk "$2" "$2" && shift 2 && exec "$@"' _ "$seed" "$count" "$@"
