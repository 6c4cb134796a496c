#!/usr/bin/env bash
# Run mode: the start of "/s" against a trivial program, the product's CPU time while a
# saver runs for 30 s and while the display is off for 30 s, the gap between two savers
# at a switch (the product switching after one minute, and the run loop in-process
# switching every second), and the run loop's CPU time over 30 s with a saver in each of
# two monitors' hosts:
#   bench/run/run.sh SESSION_DIR BUILD_DIR [ROUNDS] [SWITCHES]
# Runs in the Wine session of SESSION_DIR (tools/wine-session.sh), on BUILD_DIR's
# Quillmix.scr, fixtures, bench_run.exe and bench_run_trivial.exe; the two monitors get a
# Wine session of their own (Xorg's dummy driver, stopped at the end), and without Xorg,
# its dummy driver or xrandr their figure is skipped with the reason. About 3 minutes.
set -euo pipefail
session=${1:?session directory}
build=$(realpath "${2:?build directory}")
tools=$(dirname "$0")/../../tools
winpath() { echo "Z:$1" | tr / '\\'; }
bench=$build/bench/run/bench_run.exe
fixtures=$(winpath "$build/tests/fixtures")
"$tools/wine-run.sh" "$session" "$bench" "$(winpath "$build/Quillmix.scr")" "$fixtures" \
  "$(winpath "$build/bench/run/bench_run_trivial.exe")" "${3:-5}" "${4:-5}" | tr -d '\r'

monitors=$build/bench/run/monitors-session
trap '"$tools/wine-session.sh" stop "$monitors"' EXIT
if ! QUILLMIX_MONITORS=2 "$tools/wine-session.sh" start "$monitors" >/dev/null 2>&1; then
  echo "monitors loop: skipped, no session with two monitors: $(cat "$monitors/failed" 2>/dev/null || echo "its start failed")"
  exit 0
fi
"$tools/wine-run.sh" "$monitors" "$bench" --monitors "$fixtures" | tr -d '\r'
