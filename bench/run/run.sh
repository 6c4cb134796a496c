#!/usr/bin/env bash
# Run mode: the start of "/s" against a trivial program, the product's CPU time while a
# saver runs for 30 s and while the display is off for 30 s, and the gap between two savers
# at a switch (the product switching after one minute, and the run loop in-process
# switching every second):
#   bench/run/run.sh SESSION_DIR BUILD_DIR [ROUNDS] [SWITCHES]
# Runs in the Wine session of SESSION_DIR (tools/wine-session.sh), on BUILD_DIR's
# Quillmix.scr, fixtures, bench_run.exe and bench_run_trivial.exe; takes about 2 minutes.
set -euo pipefail
session=${1:?session directory}
build=$(realpath "${2:?build directory}")
tools=$(dirname "$0")/../../tools
winpath() { echo "Z:$1" | tr / '\\'; }
"$tools/wine-run.sh" "$session" "$build/bench/run/bench_run.exe" \
  "$(winpath "$build/Quillmix.scr")" "$(winpath "$build/tests/fixtures")" \
  "$(winpath "$build/bench/run/bench_run_trivial.exe")" "${3:-5}" "${4:-5}" | tr -d '\r'
