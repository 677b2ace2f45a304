#!/usr/bin/env bash
# Renders the PNG icons from the hand-drawn SVG. Run after changing the SVG
# and commit the results; the build and the tests never run it
# (needs rsvg-convert, package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons/hicolor"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" scalable/apps/veltrano.svg -o "${size}x${size}/apps/veltrano.png"
done
