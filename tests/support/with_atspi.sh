#!/usr/bin/env bash
# Runs a command under its own X server, session bus and accessibility bus,
# as a desktop with a screen reader running would: Qt's bridge to AT-SPI is
# on, so accessibility events really go out. Nothing of the caller's desktop
# is touched.
# Usage: with_atspi.sh COMMAND [ARGS...]. Exit 77 (skipped) when a tool is missing.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
for tool in Xvfb:xvfb dbus-daemon:dbus dbus-send:dbus; do
  command -v "${tool%%:*}" >/dev/null 2>&1 || skip "${tool%%:*} is not installed (package ${tool##*:})"
done
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "$launcher is missing (package at-spi2-core)"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; skip "Xvfb reported no display"; }
export DISPLAY=":$(head -n1 "$work/display")"

dbus-daemon --session --nofork --print-address=4 4>"$work/bus" 2>"$work/dbus.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.1; done
[ -s "$work/bus" ] || skip "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
unset AT_SPI_BUS_ADDRESS WAYLAND_DISPLAY

"$launcher" --launch-immediately 2>"$work/launcher.log" &
pids+=($!)
ready=
for _ in $(seq 100); do
  if dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; then
    ready=1
    break
  fi
  sleep 0.1
done
[ -n "$ready" ] || skip "the accessibility bus did not start"

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 VELTRANO_ACCESSIBILITY_BUS=1
"$@"
