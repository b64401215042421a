#!/usr/bin/env bash
# Makes the user guide's pictures from the real window under Xvfb, talking to the simulator.
#   scripts/screenshots.sh            into docs/images/
#   scripts/screenshots.sh DIR        into DIR (CI uses build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PX8107_BUILD_DIR:-$root/build}
out=${1:-$root/docs/images}
bash "$root/scripts/install-deps.sh" xauth # xvfb-run needs it; xvfb only recommends it
PX8107_TARGETS="px8107-sim px8107-screenshots" bash "$root/scripts/build.sh"

link=${TMPDIR:-/tmp}/px8107-sim-shots-$$
"$build/simulator/px8107-sim" --link "$link" > /dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "screenshots.sh: the simulated sensor did not start" >&2; exit 1; }

mkdir -p "$out"
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tests/px8107-screenshots" --port "$link" --out "$out" > "$build/screenshots.list"
# A palette of 64 colours keeps the text sharp and the files small.
while read -r png; do
  convert "$png" -strip -colors 64 "PNG8:$png"
done < "$build/screenshots.list"
echo "Pictures in $out:"
ls -l "$out"
