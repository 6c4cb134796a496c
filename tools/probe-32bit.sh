#!/usr/bin/env bash
# Says whether this machine can run 32-bit x86 code, which Wine runs the 32-bit build with:
# asks the kernel through a native probe (tools/probe-32bit.c), built once into build/.
#   tools/probe-32bit.sh     prints one line; exit 0 it can, 1 it cannot, 2 the probe failed
# Only exit 1 means "cannot": a probe that does not build or run is a failure, not a skip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "$(uname -m)" in
x86_64) ;;
*)
  echo "probe-32bit: the probe is for x86-64 Linux, not $(uname -m)" >&2
  exit 2
  ;;
esac
out=$root/build/probe-32bit
exe=$out/probe-32bit
src=$root/tools/probe-32bit.c
mkdir -p "$out"
# Built once, under a lock: CTest starts tests that ask it two at a time.
exec 9>"$out/.lock"
flock 9
if [ ! -x "$exe" ] || [ "$src" -nt "$exe" ]; then
  cc -O1 -no-pie -o "$exe.new" "$src" || {
    echo "probe-32bit: the probe did not build (cc -no-pie $src)" >&2
    exit 2
  }
  mv "$exe.new" "$exe"
fi
exec 9>&-
rc=0
"$exe" || rc=$?
case "$rc" in 0 | 1) exit "$rc" ;; *) exit 2 ;; esac
