#!/usr/bin/env bash
# Starts the tool. With no port named, a simulated sensor is started on a pseudo-terminal
# and linked at /tmp/px8107-sim; type that path into the port field and press "打开".
#   scripts/run.sh                 tool + simulated sensor
#   scripts/run.sh /dev/ttyUSB0    tool only, for a real sensor (any argument does)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
build=${PX8107_BUILD_DIR:-$root/build}

if [ $# -eq 0 ]; then
  link=/tmp/px8107-sim
  "$build/simulator/px8107-sim" --link "$link" --random-walk --seed 1 > "$build/px8107-sim.out" &
  sim=$!
  trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  echo "Simulated sensor at 9600 baud: type $link into 串口： and press 打开"
else
  echo "Open $1 in the window."
fi
"$build/px8107-config"
