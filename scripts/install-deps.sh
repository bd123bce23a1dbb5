#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, test and run.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  fonts-liberation2 fonts-dejavu-core
  xvfb xauth
  ser2net socat
  dpkg-dev lintian desktop-file-utils appstream help2man man-db groff-base gzip
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
