#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt, runs the installed programs
# (px8107ctl reads from the installed simulator) and removes the package again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PX8107_BUILD_DIR:-$root/build}
bash "$root/scripts/install-deps.sh" bash-completion
bash "$root/scripts/build.sh"
rm -f "$build"/px8107_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/px8107_*.deb)
deb=${debs[0]}
dpkg-deb --info "$deb"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
link=${TMPDIR:-/tmp}/px8107-package-test-$$
sim=""
cleanup() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
  $sudo apt-get remove -y px8107 >/dev/null || true
}
trap cleanup EXIT
$sudo apt-get install -y "$deb"
echo "Installed files:"
dpkg -L px8107 | sed 's/^/  /'

for page in px8107-config px8107-sim; do
  [ -s "/usr/share/man/man1/$page.1.gz" ] || { echo "no manual page for $page" >&2; exit 1; }
done
# The window takes no options: without a display it must say so, not abort.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/px8107-config 2>&1) && { echo "the window started without a display" >&2; exit 1; }
echo "$out" | grep -q "needs a graphical display" || { echo "the window without a display said: $out" >&2; exit 1; }
/usr/bin/px8107-sim --version
/usr/bin/px8107-sim --link "$link" > /dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "the installed simulator made no link at $link" >&2; exit 1; }
echo "The installed simulator runs, linked at $link"

/usr/bin/px8107ctl --version
/usr/bin/px8107ctl --port "$link" read
# The installed completion offers the installed program's commands and setting keys.
completions=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/px8107ctl
  COMP_WORDS=(px8107ctl get heater.t); COMP_CWORD=2; COMP_LINE="px8107ctl get heater.t"
  COMP_POINT=${#COMP_LINE}; _px8107ctl; echo "${COMPREPLY[*]}"')
[ "$completions" = "heater.temp-high heater.temp-low" ] ||
  { echo "bash completion of 'px8107ctl get heater.t' gave: $completions" >&2; exit 1; }
echo "The package installs, runs, reads from the installed simulator and completes in bash."
