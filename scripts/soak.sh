#!/usr/bin/env bash
# The soak test at length: query/reply cycles over a faulty simulated line, then a vanishing
# port. PX8107_SOAK_TICKS sets the number of 300 ms receive ticks (default 12000, one hour);
# CTest runs the same test with 120.
#   PX8107_SOAK_TICKS=3000 scripts/soak.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
build=${PX8107_BUILD_DIR:-$root/build}
ticks=${PX8107_SOAK_TICKS:-12000}
export PX8107_SOAK_TICKS=$ticks
# QtTest's own watchdog would stop a test function after 5 minutes.
export QTEST_FUNCTION_TIMEOUT=$(( (ticks * 300 + 600000) ))
QT_QPA_PLATFORM=offscreen "$build/tests/tst_soak"
