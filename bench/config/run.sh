#!/usr/bin/env bash
# The configuration dialog with 1,000 savers against the catalog search of the same savers:
#   bench/config/run.sh SESSION_DIR BUILD_DIR [COUNT] [ROUNDS]
# Runs in the Wine session of SESSION_DIR (tools/wine-session.sh), on BUILD_DIR's
# Quillmix.scr, fixtures and bench_config.exe.
set -euo pipefail
session=${1:?session directory}
build=$(realpath "${2:?build directory}")
tools=$(dirname "$0")/../../tools
winpath() { echo "Z:$1" | tr / '\\'; }
"$tools/wine-run.sh" "$session" "$build/bench/config/bench_config.exe" \
  "$(winpath "$build/Quillmix.scr")" "$(winpath "$build/tests/fixtures")" "${3:-1000}" "${4:-5}" | tr -d '\r'
