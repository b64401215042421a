#!/usr/bin/env bash
# Validates the desktop entries and the AppStream metainfo that the package installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" desktop-file-utils appstream
desktop-file-validate "$root"/packaging/*.desktop
appstreamcli validate --no-net "$root"/packaging/*.metainfo.xml
echo "Desktop entries and metainfo are valid."
