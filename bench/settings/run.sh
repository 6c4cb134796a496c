#!/usr/bin/env bash
# The saver search and the settings Load against mapping each saver file once:
#   bench/settings/run.sh SESSION_DIR BUILD_DIR [ROUNDS]
# Runs in the Wine session of SESSION_DIR (tools/wine-session.sh), on BUILD_DIR's
# bench_settings.exe and its fixture SampleAurora.scr.
set -euo pipefail
session=${1:?session directory}
build=$(realpath "${2:?build directory}")
tools=$(dirname "$0")/../../tools
winpath() { echo "Z:$1" | tr / '\\'; }
"$tools/wine-run.sh" "$session" "$build/bench/settings/bench_settings.exe" \
  "$(winpath "$build/tests/fixtures/SampleAurora.scr")" "${3:-7}" | tr -d '\r'
