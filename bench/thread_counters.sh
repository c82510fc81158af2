# What a process's threads cost, from /proc: sourced by the figures' scripts.
# threads PID: a line for each thread: its id, its CPU time in ns (from
# schedstat: clock ticks are too coarse for a few milliseconds) and its
# context switches (each wake-up of a thread is one).
threads() {
  local task
  for task in /proc/"$1"/task/*; do
    echo "${task##*/} $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null)" \
      "$(awk '/ctxt_switches/ { s += $2 } END { print s }' "$task/status" 2>/dev/null)"
  done
}
# growth BEFORE AFTER: "CPU-NS SWITCHES" between two `threads` listings.
# A thread that ended meanwhile (a thread pool's idle thread expires after
# 30 s) takes its counters along: only the threads of the second listing
# count, from zero when they started meanwhile.
growth() {
  awk 'NR == FNR { cpu[$1] = $2; woken[$1] = $3; next }
       { c += $2 - cpu[$1]; w += $3 - woken[$1] } END { printf "%d %d\n", c, w }' "$1" "$2"
}
