#!/usr/bin/env bash
# The soak of run mode, outside the test suite: the built Quillmix.scr switching every
# minute over the sample and fault savers for MINUTES (default 10; 2 is a short round for
# development), in a Wine session of its own; prints a summary and exits non-zero on any
# failure.
#   tools/soak.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
[[ "$minutes" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [MINUTES]" >&2; exit 2; }
cmake --preset x64 >/dev/null
cmake --build --preset x64 --target soak_run_mode >/dev/null
build=$PWD/build/x64
session=$build/soak-session
tools/wine-session.sh start "$session" >/dev/null
trap 'tools/wine-session.sh stop "$session"' EXIT
QUILLMIX_SCR=$build/Quillmix.scr QUILLMIX_FIXTURES=$build/tests/fixtures \
  tools/wine-run.sh "$session" "$build/tests/soak/soak_run_mode.exe" "$minutes" | tr -d '\r'
