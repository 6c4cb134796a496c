#!/usr/bin/env bash
# Runs a test that runs 32-bit Windows code, or skips it where this machine cannot run 32-bit
# code at all (the kernel refuses it, so Wine's WoW64 mode cannot work):
#   needs-32bit.sh COMMAND [ARGS...]
# Exit 77 (CTest's SKIP_RETURN_CODE for these tests) only when the probe answers "cannot";
# a probe that fails is a failure. QUILLMIX_PROBE_32BIT names another probe (a program with
# the exit codes of tools/probe-32bit.sh), to try the skip path on a machine that can.
set -uo pipefail
probe=${QUILLMIX_PROBE_32BIT:-$(dirname "$0")/probe-32bit.sh}
answer=$("$probe")
rc=$?
case "$rc" in
0) exec "$@" ;;
1)
  echo "skipped: $answer (decided by $probe)"
  exit 77
  ;;
*)
  echo "needs-32bit: the probe $probe failed (exit $rc): ${answer:-no answer}" >&2
  exit 1
  ;;
esac
