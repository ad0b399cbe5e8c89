#!/usr/bin/env bash
# Start-up to the tray icon and resident memory after start: morvane on an empty library and on a
# generated one of 100,000 links, each beside a bare Qt tray application measured in the same session.
#
#   startup_bench.sh <morvane> <bare_tray> <make_bench_library>
#
# Start-up is the time from spawning the process to its tray icon window appearing (as the end-to-end
# tests detect it); memory is VmRSS once it has stopped changing. Every run has its own HOME and XDG
# folders; the generated library is copied into the run's data folder. The medians of RUNS runs
# (default 7) are printed with their ratios to the bare application's, which the budget bounds at
# 1.5 (start-up, on both libraries) and 1.75 (memory, on the large library). MORVANE_BENCH_SMOKE=1
# makes it one run on a tiny library, to keep it working; LINKS sets the library size. PROFILE=<prefix>
# appends each run's resident memory by mapping (from smaps) to <prefix>.<program>[.library].
set -euo pipefail
morvane=$1 bare=$2 make_library=$3
binary=$morvane # e2e_common.sh names the program under test so
. "$(dirname "$0")/../../tests/e2e/e2e_common.sh"
# A desktop session as users have it: a session bus, with the accessibility bus on (while it is off,
# Morvane asks for it at every start, and the question would be part of the measure). ACCESSIBILITY=off
# measures that start instead.
own_bus "$0" "$@"
start_session "$@"
[ "${ACCESSIBILITY:-on}" = off ] || accessibility_on

if [ "${MORVANE_BENCH_SMOKE:-}" = 1 ]; then
  runs=1 links=100
else
  runs=${RUNS:-7} links=${LINKS:-100000}
fi
generated=$E2E_HOME/generated.sqlite
"$make_library" "$generated" "$links" || fail "could not generate the library"

now_ns() { date +%s%N; }

# The tray icon window of a program: its class and its name are both the application's name.
icon_of() {
  local w
  for w in $(xdotool search --class "^$1\$" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" != "$1" ] || return 0
  done
  return 1
}

# VmRSS in kB once two readings 300 ms apart agree (at most 5 s).
settled_rss() {
  local pid=$1 last=-1 rss i
  for i in $(seq 50); do
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    [ "$rss" != "$last" ] || break
    last=$rss
    sleep 0.3
  done
  echo "$rss"
}

# Resident kB by what is mapped (a library, the heap, anonymous memory), largest first, with the total.
resident_by_mapping() {
  awk '/^[0-9a-f]+-[0-9a-f]+ / { name = ($6 == "") ? "[anonymous]" : $6; sub(/.*\//, "", name) }
       /^Rss:/ { kb[name] += $2; total += $2 }
       END { for (n in kb) printf "%8d %s\n", kb[n], n; printf "%8d %s\n", total, "TOTAL" }' \
    "/proc/$1/smaps" | sort -rn
  echo
}

# measure <name> <program> <library or ""> -> "<start-up ms> <rss kB>"
measure() {
  local name=$1 program=$2 library=$3
  local home started pid rss
  home=$(mktemp -d "$E2E_HOME/run-XXXXXX")
  mkdir -p "$home/.config" "$home/.local/share" "$home/.runtime"
  chmod 700 "$home/.runtime"
  if [ -n "$library" ]; then
    mkdir -p "$home/.local/share/Morvane"
    chmod 700 "$home/.local/share/Morvane"
    cp "$library" "$home/.local/share/Morvane/Morvane.sqlite"
  fi
  started=$(now_ns)
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    XDG_RUNTIME_DIR=$home/.runtime "$program" >"$home/out.log" 2>&1 &
  pid=$!
  until icon_of "$name"; do
    kill -0 "$pid" 2>/dev/null || fail "$program exited before showing its tray icon"
    [ $(($(now_ns) - started)) -lt 30000000000 ] || fail "$program showed no tray icon in 30 s"
  done
  local elapsed=$((($(now_ns) - started) / 1000000))
  rss=$(settled_rss "$pid")
  [ -z "${PROFILE:-}" ] || resident_by_mapping "$pid" >>"$PROFILE.$name${library:+.library}"
  kill -TERM "$pid"
  wait "$pid" || true
  wait_for 10 eval "! icon_of $name" || true
  rm -rf "$home"
  echo "$elapsed $rss"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A startup memory
cases=(bare empty large)
for run in $(seq "$runs"); do
  # Interleaved, so that a slow moment of the machine falls on every case alike.
  for case in "${cases[@]}"; do
    case $case in
      bare) result=$(measure BareTray "$bare" "") ;;
      empty) result=$(measure Morvane "$morvane" "") ;;
      large) result=$(measure Morvane "$morvane" "$generated") ;;
    esac
    startup[$case]+="${result% *} "
    memory[$case]+="${result#* } "
  done
done

printf '%-28s %12s %12s %10s %10s\n' case "start-up ms" "VmRSS kB" "x start" "x memory"
for case in "${cases[@]}"; do
  s=$(echo "${startup[$case]}" | tr ' ' '\n' | grep . | median)
  m=$(echo "${memory[$case]}" | tr ' ' '\n' | grep . | median)
  declare "s_$case=$s" "m_$case=$m"
done
for case in "${cases[@]}"; do
  s_var=s_$case m_var=m_$case
  case $case in
    bare) label="bare Qt tray application" ;;
    empty) label="morvane, empty library" ;;
    large) label="morvane, $links links" ;;
  esac
  printf '%-28s %12s %12s %10s %10s\n' "$label" "${!s_var}" "${!m_var}" \
    "$(awk -v a="${!s_var}" -v b="$s_bare" 'BEGIN { printf "%.2f", a / b }')" \
    "$(awk -v a="${!m_var}" -v b="$m_bare" 'BEGIN { printf "%.2f", a / b }')"
done
within=$(awk -v s="$s_large" -v e="$s_empty" -v m="$m_large" -v bs="$s_bare" -v bm="$m_bare" \
  'BEGIN { print (s <= 1.5 * bs && e <= 1.5 * bs && m <= 1.75 * bm) ? "within" : "over" }')
echo "budget (start-up <= 1.5x the bare application on both libraries, memory <= 1.75x on $links links): $within"
