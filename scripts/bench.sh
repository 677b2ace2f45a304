#!/usr/bin/env bash
# Runs every benchmark; each prints its measured case beside its baseline.
set -e
build=${1:-build}
for b in "$build"/bench/bench_*; do
  # CMake keeps bench_*_autogen folders beside the programs.
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done
