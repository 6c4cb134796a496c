#!/usr/bin/env bash
# Builds both Windows targets: build/x64 (with tests, fixtures, benchmarks) and build/x86.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/tools/setup.sh"
for preset in x86 x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
