#!/usr/bin/env bash
# Builds only what it starts, then starts the configuration window, or with --monitor the live
# monitor. With no port named, a simulated sensor is started on a pseudo-terminal with a link of
# this user's own, printed in a frame: for the window, type that path into the port field and
# press "打开"; the monitor connects to it by itself.
#   scripts/run.sh                           window + simulated sensor
#   scripts/run.sh /dev/ttyUSB0              window only, for a real sensor (any argument does)
#   scripts/run.sh --monitor                 monitor + simulated sensor (random walk)
#   scripts/run.sh --monitor /dev/ttyUSB0    monitor only, on that port
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PX8107_BUILD_DIR:-$root/build}
monitor=false
if [ "${1:-}" = --monitor ]; then
  monitor=true
  shift
fi
if $monitor; then program=px8107-monitor; else program=px8107-config; fi

port=${1:-}
if [ -z "$port" ]; then
  PX8107_TARGETS="$program px8107-sim" bash "$root/scripts/build.sh"
  # Per user, so that two users of one machine each get their own sensor.
  if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -d "$XDG_RUNTIME_DIR" ] && [ -w "$XDG_RUNTIME_DIR" ]; then
    port=$XDG_RUNTIME_DIR/px8107-sim
  else
    port=/tmp/px8107-sim-$(id -u)
  fi
  "$build/simulator/px8107-sim" --link "$port" --random-walk --seed 1 > "$build/px8107-sim.out" &
  sim=$!
  trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
  [ -e "$port" ] || { echo "run.sh: the simulated sensor did not start" >&2; exit 1; }
  rule='=========================================================================='
  if $monitor; then
    printf '\n%s\n  Simulated sensor at 9600 baud, at\n\n      %s\n\n  The monitor connects to it.\n%s\n\n' \
      "$rule" "$port" "$rule"
  else
    printf '\n%s\n  Simulated sensor at 9600 baud. In the window, type this port name\n\n' "$rule"
    printf '      %s\n\n  into "串口：" and press "打开".\n%s\n\n' "$port" "$rule"
  fi
else
  PX8107_TARGETS="$program" bash "$root/scripts/build.sh"
  $monitor || echo "Open $port in the window."
fi
if $monitor; then
  "$build/monitor/px8107-monitor" --port "$port" --connect
else
  "$build/px8107-config"
fi
