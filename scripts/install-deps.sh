#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Does nothing (and needs no network) when they are all present already.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-xkb-dev
  libbenchmark-dev
  xvfb xauth xdotool x11-utils x11-apps twm x11-xkb-utils xfonts-base
  fonts-liberation
  mingw-w64 g++-mingw-w64-x86-64
  imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
