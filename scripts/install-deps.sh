#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the tool, and any named in addition
# (the benchmark, sanitizer and fuzz scripts name theirs).
#   scripts/install-deps.sh [package ...]
set -euo pipefail

packages=(
  build-essential cmake ccache help2man
  qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools
  libqcustomplot-dev libqt5svg5-dev
  fonts-wqy-microhei xvfb imagemagick
  libmosquitto-dev mosquitto mosquitto-clients openssl
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
