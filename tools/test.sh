#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice under Wine 10 (each run in a fresh
# prefix with its own Xvfb): the 64-bit build's, then the shipped 32-bit build's in Wine's
# WoW64 mode. On a machine that cannot run 32-bit code at all (tools/probe-32bit.sh), the
# 32-bit build's tests that run its code report themselves skipped; the rest of its suite runs.
#   tools/test.sh [CTEST ARGS...]       e.g. tools/test.sh -R preview
# QUILLMIX_PRESETS="x86" runs one build's suite only.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
# The quality gates: formatting and clang-tidy, before the suites.
tools/lint.sh 2>&1 | grep -v ' warnings generated\.$'
# tools/build.sh has just built both presets: each suite checks the other build's product too.
export QUILLMIX_REQUIRE_BOTH=1
rc=0
for preset in ${QUILLMIX_PRESETS:-x64 x86}; do
  echo "== the $preset build's suite"
  if [ "$preset" = x86 ]; then
    probe=${QUILLMIX_PROBE_32BIT:-tools/probe-32bit.sh}
    prc=0
    answer=$("$probe") || prc=$?
    if [ "$prc" -eq 1 ]; then
      echo "== SKIPPED: the x86 build's tests that run its code: $answer (decided by $probe)"
    fi
  fi
  ctest --preset "$preset" "$@" || rc=1
done
exit "$rc"
