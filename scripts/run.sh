#!/usr/bin/env bash
# Starts the tool, or with --monitor the live monitor. With no port named, a simulated sensor is
# started on a pseudo-terminal and linked at /tmp/px8107-sim: for the tool, type that path into
# the port field and press "打开"; the monitor connects to it by itself.
#   scripts/run.sh                           tool + simulated sensor
#   scripts/run.sh /dev/ttyUSB0              tool only, for a real sensor (any argument does)
#   scripts/run.sh --monitor                 monitor + simulated sensor (random walk)
#   scripts/run.sh --monitor /dev/ttyUSB0    monitor only, on that port
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
monitor=false
if [ "${1:-}" = --monitor ]; then
  monitor=true
  shift
fi
bash "$root/scripts/build.sh"
build=${PX8107_BUILD_DIR:-$root/build}

port=${1:-}
if [ -z "$port" ]; then
  port=/tmp/px8107-sim
  "$build/simulator/px8107-sim" --link "$port" --random-walk --seed 1 > "$build/px8107-sim.out" &
  sim=$!
  trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
  $monitor || echo "Simulated sensor at 9600 baud: type $port into 串口： and press 打开"
else
  $monitor || echo "Open $port in the window."
fi
if $monitor; then
  "$build/monitor/px8107-monitor" --port "$port" --connect
else
  "$build/px8107-config"
fi
