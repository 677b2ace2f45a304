#!/usr/bin/env bash
# Runs the cross-built Win32 window-system test under Wine, on a private Xvfb
# and in a throwaway Wine prefix, so that it neither needs nor touches the
# desktop or the user's own prefix.
# Usage: run_under_wine.sh <test .exe>. Exit 77 (skipped) when a tool is missing.
set -euo pipefail

exe=$1
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

skip() { echo "SKIP: $*"; exit 77; }
[ -f "$exe" ] || skip "the test was not built: x86_64-w64-mingw32-g++ was missing when CMake ran (package g++-mingw-w64-x86-64)"
[ -x "$wine" ] || skip "$wine is not installed (package wine64)"
command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed (package xvfb)"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [ -d "$work/prefix" ]; then
    WINEPREFIX="$work/prefix" "$wineserver" -k >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb writes its display number to the descriptor once it accepts clients.
Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "FAIL: Xvfb did not start"; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "FAIL: Xvfb gave no display number"; exit 1; }

# The first run creates the prefix (about 20 s). Mono and Gecko are switched
# off so that no installer asks anything. A C locale gives the ANSI code page
# 1252 that the test's captions are written for.
export DISPLAY=":$(head -n1 "$work/display")"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C
"$wine" "$exe"
