#!/usr/bin/env bash
# px8107ctl monitor at --interval 0 against the simulator (no processing delay): samples per
# second as a share of the wire limit while writing CSV, CPU time per sample, and peak RSS after
# a short and a long run. Run by scripts/bench.sh; also alone:
#   scripts/bench-monitor.sh BUILD_DIR
# Environment: BENCH_MONITOR_SHORT (samples, default 1000), BENCH_MONITOR_LONG (default 10000;
# 1000000 takes about four hours at 19200 baud).
set -euo pipefail
build=${1:?build directory with px8107ctl, px8107-sim and px8107-bench-run}
short=${BENCH_MONITOR_SHORT:-1000}
long=${BENCH_MONITOR_LONG:-10000}
ctl=$build/ctl/px8107ctl
sim=$build/simulator/px8107-sim
run=$build/bench/px8107-bench-run
work=$(mktemp -d /tmp/px8107-bench-monitor.XXXXXX)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

# Starts the simulator at a rate; its link is $work/sensor.
start_sim() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$work/sensor"
  "$sim" --baud "$1" --processing-ms 0 --link "$work/sensor" >/dev/null 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$work/sensor" ] && break; sleep 0.1; done
}

# One measured monitor run of $2 samples at rate $1; prints "cpu_s maxrss_kib samples_per_s".
monitor() {
  local csv=$work/rows-$1-$2.csv line
  rm -f "$csv"
  line=$("$run" -- "$ctl" --port "$work/sensor" --baud "$1" --address 1 monitor --interval 0 \
    --samples "$2" -o "$csv")
  # The rate from the rows' own timestamps: start-up and the identity read are left out.
  local rate
  rate=$(awk -F, '
    function ms(t) { split(substr(t, 12, 12), p, ":"); return (p[1] * 3600 + p[2] * 60 + p[3]) * 1000 }
    NR == 2 { first = $1 } NR > 1 { last = $1; n++ }
    END { printf "%.2f", (n - 1) * 1000 / (ms(last) - ms(first)) }' "$csv")
  echo "$(echo "$line" | field cpu_s) $(echo "$line" | field maxrss_kib) $rate"
}

# Request 8 bytes, reply 13 (function 3, four registers), 10 bits a character, and the quiet
# time of 3.5 characters (at least 1.75 ms) before each of the two frames.
wire_limit() {
  awk -v b="$1" 'BEGIN { gap = 3.5 * 10 / b; if (gap < 0.00175) gap = 0.00175
    printf "%.2f", 1 / (21 * 10 / b + 2 * gap) }'
}

echo "### px8107ctl monitor at --interval 0, writing CSV (simulator, no processing delay)"
echo
echo "| rate | samples | samples/s | wire limit | share | CPU time | peak RSS |"
echo "|---|---|---|---|---|---|---|"
for baud in 9600 19200; do
  start_sim "$baud"
  read -r cpu rss rate <<<"$(monitor "$baud" "$short")"
  limit=$(wire_limit "$baud")
  awk -v b="$baud" -v n="$short" -v r="$rate" -v l="$limit" -v c="$cpu" -v m="$rss" 'BEGIN {
    printf "| %d | %d | %.1f | %.1f | %.3f %s | %.3f s | %.1f MiB |\n",
      b, n, r, l, r / l, (r / l >= 0.9 ? "(met)" : "(MISSED)"), c, m / 1024 }'
  eval "short_$baud='$cpu $rss'"
done
read -r cpu rss rate <<<"$(monitor 19200 "$long")"
limit=$(wire_limit 19200)
awk -v n="$long" -v r="$rate" -v l="$limit" -v c="$cpu" -v m="$rss" 'BEGIN {
  printf "| 19200 | %d | %.1f | %.1f | %.3f %s | %.3f s | %.1f MiB |\n",
    n, r, l, r / l, (r / l >= 0.9 ? "(met)" : "(MISSED)"), c, m / 1024 }'
echo
read -r short_cpu short_rss <<<"$short_19200"
awk -v s="$short" -v l="$long" -v sc="$short_cpu" -v lc="$cpu" -v sr="$short_rss" -v lr="$rss" 'BEGIN {
  printf "- CPU per sample at 19200 baud, (CPU of %d samples - CPU of %d) / %d: %.1f µs\n",
    l, s, l - s, (lc - sc) * 1e6 / (l - s)
  printf "- peak RSS after %d samples against %d: %.1f MiB against %.1f MiB (%+.2f MiB)\n",
    l, s, lr / 1024, sr / 1024, (lr - sr) / 1024 }'
echo
echo "Wire limit: 1 / (21 bytes x 10 bits / rate + 2 x 3.5 characters of quiet). Samples per"
echo "second come from the first and last row's timestamps, so start-up and the identity read"
echo "are left out; CPU time and RSS are the whole process's (wait4)."
echo
