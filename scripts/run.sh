#!/usr/bin/env bash
# Starts the editor, or says in one line why it cannot: without a display a
# Qt program would abort with a long platform-plugin message.
bin=${1:-build/veltrano}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "veltrano: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); start it from a desktop session." >&2
  exit 1
fi
exec "$bin"
