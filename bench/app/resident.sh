# Shared by the application benchmarks' scripts.

# VmRSS in kB of a process once two readings 300 ms apart agree (at most 15 s).
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
