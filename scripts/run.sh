#!/usr/bin/env bash
# Builds the window (and the simulated sensor) only, then starts it. With no port named, a
# simulated sensor is started on a pseudo-terminal with a link of this user's own, printed in a
# frame; type that path into the port field and press "打开".
#   scripts/run.sh                 tool + simulated sensor
#   scripts/run.sh /dev/ttyUSB0    tool only, for a real sensor (any argument does)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PX8107_BUILD_DIR:-$root/build}

if [ $# -eq 0 ]; then
  PX8107_TARGETS="px8107-config px8107-sim" bash "$root/scripts/build.sh"
  # Per user, so that two users of one machine each get their own sensor.
  if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -d "$XDG_RUNTIME_DIR" ] && [ -w "$XDG_RUNTIME_DIR" ]; then
    link=$XDG_RUNTIME_DIR/px8107-sim
  else
    link=/tmp/px8107-sim-$(id -u)
  fi
  "$build/simulator/px8107-sim" --link "$link" --random-walk --seed 1 > "$build/px8107-sim.out" &
  sim=$!
  trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  [ -e "$link" ] || { echo "run.sh: the simulated sensor did not start" >&2; exit 1; }
  rule='=========================================================================='
  printf '\n%s\n  Simulated sensor at 9600 baud. In the window, type this port name\n\n' "$rule"
  printf '      %s\n\n  into "串口：" and press "打开".\n%s\n\n' "$link" "$rule"
else
  PX8107_TARGETS="px8107-config" bash "$root/scripts/build.sh"
  echo "Open $1 in the window."
fi
"$build/px8107-config"
