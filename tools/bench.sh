#!/usr/bin/env bash
# Builds everything and runs every benchmark under Wine; prints their figures.
#   tools/bench.sh [settings|run|config ...]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
session=$PWD/build/x64/bench-session
tools/wine-session.sh start "$session" >/dev/null
trap 'tools/wine-session.sh stop "$session"' EXIT
areas=("$@")
[ ${#areas[@]} -gt 0 ] || areas=(settings run config)
for area in "${areas[@]}"; do
  if [ -x "bench/$area/run.sh" ]; then
    echo "== $area"
    "bench/$area/run.sh" "$session" "$PWD/build/x64"
  fi
done
