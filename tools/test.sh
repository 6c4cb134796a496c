#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine (fresh prefix, own Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
ctest --preset x64 "$@"
