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
#
# Then the memory after use: morvane started on each library, its panel opened, a text typed key by
# key (USE_TEXT, default "zq") and the panel hidden, once and then USE_CYCLES more times (default 50);
# resident and private memory after the first use and after the cycles, the medians of USE_RUNS starts
# (default 3), beside the bare application's resident memory at start. The budgets bound the first use
# at 2x the bare application on the empty library and 2.5x on the large one, and the cycles at 5 % above
# the first use. PANEL_USE=0 leaves these cases out; with PROFILE set each use appends its mappings to
# <prefix>.used[.library] and <prefix>.cycled[.library].
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

. "$(dirname "$0")/resident.sh"

# Resident and private kB by what is mapped (a library, the heap, anonymous memory), largest first,
# with the totals.
resident_by_mapping() {
  awk '/^[0-9a-f]+-[0-9a-f]+ / { name = ($6 == "") ? "[anonymous]" : $6; sub(/.*\//, "", name) }
       /^Rss:/ { kb[name] += $2; total += $2 }
       /^Private_(Clean|Dirty):/ { own[name] += $2; owned += $2 }
       END { for (n in kb) printf "%8d %8d %s\n", kb[n], own[n], n
             printf "%8d %8d %s\n", total, owned, "TOTAL" }' \
    "/proc/$1/smaps" | sort -rn
  echo
}

# new_home <library or ""> -> a fresh home for one run, holding a copy of the library
new_home() {
  local home
  home=$(mktemp -d "$E2E_HOME/run-XXXXXX")
  mkdir -p "$home/.config" "$home/.local/share" "$home/.runtime"
  chmod 700 "$home/.runtime"
  if [ -n "$1" ]; then
    mkdir -p "$home/.local/share/Morvane"
    chmod 700 "$home/.local/share/Morvane"
    cp "$1" "$home/.local/share/Morvane/Morvane.sqlite"
  fi
  echo "$home"
}

# measure <name> <program> <library or ""> -> "<start-up ms> <rss kB>"
measure() {
  local name=$1 program=$2 library=$3
  local home started pid rss
  home=$(new_home "$library")
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
  end_run "$pid" "$name" "$home"
  echo "$elapsed $rss"
}

# end_run <pid> <name> <home>: quits the program and removes its home
end_run() {
  kill -TERM "$1"
  wait "$1" || true
  wait_for 10 eval "! icon_of $2" || true
  rm -rf "$3"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# --- Sync through a record folder: resident memory after the pass that follows the first ------------
# SYNC_LINKS="10000 50000" adds these cases (SYNC_ONLY=1 runs them alone, SYNC_RUNS runs each, default
# 3). Each library is synced once into a record folder of its own by sync_bench_library (built beside
# make_bench_library) and started with sync on through a link to that folder, as a machine that synced
# before starts ("resumed"), and with the library's sync point removed, so that its first pass reads
# every record file ("whole", as after an upgrade). VmRSS is read once the timed pass 45 s after the start
# has run (SYNC_WAIT seconds after the start, default 52), beside the same library with sync off in the
# same run; the CPU time of the process from 30 s to then (the timed pass and the idle around it) is
# printed too, and the peak resident (VmHWM), which for "whole" is the whole pass's. A machine joining
# ("joining": an empty library, the folder full) is read JOIN_WAIT seconds after the start (default 120),
# once its first pass, which takes every record in, and the pass after it have run. Budgets: resumed
# <= 1.3x sync off at 10,000 links and <= 1.5x at 50,000; the peaks of the whole and joining passes
# <= 2x sync off.
sync_tool=$(dirname "$make_library")/../sync/sync_bench_library

cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ print int(($14 + $15) * 1000 / hz) }' "/proc/$1/stat"; }

# sleep_until <start ns> <seconds>: sleeps until that many seconds after the start.
sleep_until() {
  local left=$(($2 * 1000000000 - ($(now_ns) - $1)))
  [ "$left" -le 0 ] || sleep "$(awk -v n="$left" 'BEGIN { print n / 1e9 }')"
}

# measure_sync <library> <sync mode> <record folder> [whole|joining]
#   -> "<rss kB> <cpu ms from 30 s> <peak kB>"
measure_sync() {
  local library=$1 mode=$2 records=$3 kind=${4:-} wait=${SYNC_WAIT:-52} home pid started rss cpu_at_30 peak
  home=$(mktemp -d "$E2E_HOME/run-XXXXXX")
  mkdir -p "$home/.config/Morvane" "$home/.local/share/Morvane" "$home/.runtime"
  chmod 700 "$home/.runtime" "$home/.local/share/Morvane"
  if [ "$kind" = joining ]; then
    wait=${JOIN_WAIT:-120}
  else
    cp "$library" "$home/.local/share/Morvane/Morvane.sqlite"
  fi
  [ "$kind" != whole ] || sqlite3 "$home/.local/share/Morvane/Morvane.sqlite" "DELETE FROM sync_point"
  ln -s "$records" "$home/.local/share/Morvane/CloudRecords"
  printf '{"preferences.syncMode": "%s"}\n' "$mode" >"$home/.config/Morvane/defaults.json"
  started=$(now_ns)
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    XDG_RUNTIME_DIR=$home/.runtime "$morvane" >"$home/out.log" 2>&1 &
  pid=$!
  until icon_of Morvane; do
    kill -0 "$pid" 2>/dev/null || fail "$morvane exited before showing its tray icon"
    [ $(($(now_ns) - started)) -lt 30000000000 ] || fail "$morvane showed no tray icon in 30 s"
  done
  sleep_until "$started" 30
  cpu_at_30=$(cpu_ms "$pid")
  sleep_until "$started" "$wait"
  rss=$(settled_rss "$pid")
  peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  echo "$rss $(($(cpu_ms "$pid") - cpu_at_30)) $peak"
  kill -TERM "$pid"
  wait "$pid" || true
  wait_for 10 eval "! icon_of Morvane" || true
  rm -rf "$home"
}

sync_memory_cases() {
  [ -x "$sync_tool" ] || fail "no $sync_tool: build the target sync_bench_library"
  local links run case result library records
  local -A rss cpu peak
  local r c p
  for links in $SYNC_LINKS; do
    library=$E2E_HOME/synced-$links.sqlite records=$E2E_HOME/records-$links
    mkdir -p "$records"
    "$make_library" "$library" "$links" || fail "could not generate the library of $links links"
    "$sync_tool" "$library" "$records" || fail "could not sync the library of $links links"
    for run in $(seq "${SYNC_RUNS:-3}"); do
      for case in off resumed whole joining; do
        case $case in
          off) result=$(measure_sync "$library" disabled "$records") ;;
          resumed) result=$(measure_sync "$library" iCloud "$records") ;;
          whole | joining) result=$(measure_sync "$library" iCloud "$records" "$case") ;;
        esac
        read -r r c p <<<"$result"
        rss[$links.$case]+="$r " cpu[$links.$case]+="$c " peak[$links.$case]+="$p "
      done
    done
  done
  printf '%-8s %-10s %10s %10s %14s %10s %10s\n' links case "VmRSS kB" "x sync off" "CPU ms from 30 s" \
    "VmHWM kB" "x sync off"
  for links in $SYNC_LINKS; do
    local off
    off=$(echo "${rss[$links.off]}" | tr ' ' '\n' | grep . | median)
    for case in off resumed whole joining; do
      local m c h
      m=$(echo "${rss[$links.$case]}" | tr ' ' '\n' | grep . | median)
      c=$(echo "${cpu[$links.$case]}" | tr ' ' '\n' | grep . | median)
      h=$(echo "${peak[$links.$case]}" | tr ' ' '\n' | grep . | median)
      printf '%-8s %-10s %10s %10s %14s %10s %10s\n' "$links" "$case" "$m" \
        "$(awk -v a="$m" -v b="$off" 'BEGIN { printf "%.2f", a / b }')" "$c" "$h" \
        "$(awk -v a="$h" -v b="$off" 'BEGIN { printf "%.2f", a / b }')"
    done
  done
  echo "budgets: resumed <= 1.3x sync off at 10000 links, <= 1.5x at 50000; the whole and joining"
  echo "passes' peaks (VmHWM) <= 2x the resident with sync off"
}

if [ -n "${SYNC_LINKS:-}" ]; then
  sync_memory_cases
  [ "${SYNC_ONLY:-}" != 1 ] || exit 0
fi

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

[ "${PANEL_USE:-1}" != 0 ] || exit 0

# Resident and private kB of a process once its resident size has settled: "<rss> <private>".
settled_memory() {
  settled_rss "$1" >/dev/null
  awk '/^Rss:/ { rss = $2 } /^Private_(Clean|Dirty):/ { own += $2 } END { print rss, own }' \
    "/proc/$1/smaps_rollup"
}

# One use of the panel: opened by its shortcut, the text typed key by key, the rows left to come in
# (the resident size settles), then hidden.
use_panel() {
  local pid=$1 w
  xdotool key ctrl+super+l
  wait_for 10 shown_window Morvane || fail "the panel did not open"
  w=$(shown_window Morvane)
  wait_for 5 test "$(xdotool getactivewindow 2>/dev/null)" = "$w" || fail "the panel did not take the focus"
  xdotool type --delay 80 "${USE_TEXT:-zq}"
  settled_rss "$pid" >/dev/null
  xdotool key Escape
  wait_for 10 not_shown Morvane || fail "the panel did not hide"
}

# measure_use <library or ""> -> "<rss> <private> after one use, <rss> <private> after the cycles"
measure_use() {
  local library=$1 home pid used cycled
  home=$(new_home "$library")
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    XDG_RUNTIME_DIR=$home/.runtime "$morvane" >"$home/out.log" 2>&1 &
  pid=$!
  wait_for 30 icon_of Morvane || fail "morvane showed no tray icon in 30 s"
  settled_rss "$pid" >/dev/null
  use_panel "$pid"
  used=$(settled_memory "$pid")
  [ -z "${PROFILE:-}" ] || resident_by_mapping "$pid" >>"$PROFILE.used${library:+.library}"
  for _ in $(seq "$cycles"); do
    use_panel "$pid"
  done
  cycled=$(settled_memory "$pid")
  [ -z "${PROFILE:-}" ] || resident_by_mapping "$pid" >>"$PROFILE.cycled${library:+.library}"
  end_run "$pid" Morvane "$home"
  echo "$used $cycled"
}

if [ "${MORVANE_BENCH_SMOKE:-}" = 1 ]; then
  use_runs=1 cycles=1
else
  use_runs=${USE_RUNS:-3} cycles=${USE_CYCLES:-50}
fi
declare -A used_rss used_private cycled_rss cycled_private
use_cases=(used-empty used-large)
for run in $(seq "$use_runs"); do
  for case in "${use_cases[@]}"; do
    case $case in
      used-empty) read -r a b c d <<<"$(measure_use "")" ;;
      used-large) read -r a b c d <<<"$(measure_use "$generated")" ;;
    esac
    used_rss[$case]+="$a " used_private[$case]+="$b " cycled_rss[$case]+="$c " cycled_private[$case]+="$d "
  done
done

echo
echo "after use (text \"${USE_TEXT:-zq}\", $cycles more open-type-hide cycles, medians of $use_runs starts):"
printf '%-28s %10s %10s %8s %10s %10s %8s\n' case "used kB" private "x bare" "cycled kB" private "x used"
verdict=within
for case in "${use_cases[@]}"; do
  ur=$(echo "${used_rss[$case]}" | tr ' ' '\n' | grep . | median)
  up=$(echo "${used_private[$case]}" | tr ' ' '\n' | grep . | median)
  cr=$(echo "${cycled_rss[$case]}" | tr ' ' '\n' | grep . | median)
  cp=$(echo "${cycled_private[$case]}" | tr ' ' '\n' | grep . | median)
  case $case in
    used-empty) label="morvane, empty library" bound=2 ;;
    used-large) label="morvane, $links links" bound=2.5 ;;
  esac
  printf '%-28s %10s %10s %8s %10s %10s %8s\n' "$label" "$ur" "$up" \
    "$(awk -v a="$ur" -v b="$m_bare" 'BEGIN { printf "%.2f", a / b }')" "$cr" "$cp" \
    "$(awk -v a="$cr" -v b="$ur" 'BEGIN { printf "%.3f", a / b }')"
  verdict=$(awk -v u="$ur" -v c="$cr" -v b="$m_bare" -v k="$bound" -v v="$verdict" \
    'BEGIN { print (v == "within" && u <= k * b && c <= 1.05 * u) ? "within" : "over" }')
done
echo "budget (after one use <= 2x the bare application on an empty library, <= 2.5x on $links links; after the cycles <= 1.05x the first use): $verdict"
