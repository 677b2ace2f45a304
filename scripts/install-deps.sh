#!/usr/bin/env bash
# Installs the Debian packages a task needs:
#   install-deps.sh run    what building and running the program needs
#   install-deps.sh test   that, and everything the tests and benchmarks need
#                          (the default)
# Does nothing (and needs no network) when they are all present already.
set -euo pipefail

what=${1:-test}

# Building and running the program.
run_packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-xkb-dev
  fonts-liberation
)

# The tests and the benchmarks, on top of those.
test_packages=(
  libbenchmark-dev
  # Find clicked through the X server in the big-file benchmark.
  libxcb-xtest0-dev
  xvfb xauth xdotool x11-utils x11-apps twm x11-xkb-utils xfonts-base
  mingw-w64 g++-mingw-w64-x86-64 wine64
  imagemagick
  desktop-file-utils appstream groff-base
  # The screen-reader view (own session and accessibility buses) and the
  # icon cache of a live install.
  at-spi2-core dbus gtk-update-icon-cache
)

# The window list on Wayland: the client library and wayland-scanner to build
# it; for its tests a headless sway, xdg-shell for the test windows, and Qt's
# Wayland plugin so that Qt runs on that sway too.
run_packages+=(libwayland-dev)
test_packages+=(wayland-protocols sway qt6-wayland)

case "$what" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

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
