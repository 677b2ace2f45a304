#!/usr/bin/env bash
# Starts the editor. Without a display it says in one line which display it
# could not open and ends with status 1.
bin=${1:-build/veltrano}
exec "$bin"
