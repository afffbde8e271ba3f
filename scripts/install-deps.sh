#!/usr/bin/env bash
# Installs the Debian packages that Digestra needs to build, run and test.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache
  qt6-base-dev libqcustomplot-dev libgl-dev
  python3-dev python3-numpy python3-scipy pybind11-dev
  libxlsxwriter-dev libsundials-dev
  python3-pytest python3-openpyxl python3-markdown chromium
  python3-distributed python3-matplotlib python3-tomli-w
  libtomlplusplus-dev dpkg-dev file lintian
  fonts-open-sans
  xvfb xauth imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Installing ${missing[*]} needs root or sudo." >&2; exit 1; }
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
