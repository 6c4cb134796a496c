#!/usr/bin/env bash
# The test tools' own checks, on the Linux side:
#   the 32-bit gate: skips (77) only when the probe answers "cannot", fails when the probe
#     fails, and runs the test otherwise; the real probe answers one way or the other;
#   a Wine session: leaves no process of its prefix after its stop, and a start that cannot
#     make its prefix fails with the reason and leaves nothing running either.
set -uo pipefail
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
work=$(mktemp -d)
failures=0
check() {
  if eval "$2"; then echo "ok:   $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
# The processes whose environment names this prefix, as wine-session.sh finds them.
prefix_processes() {
  local env n=0
  for env in /proc/[0-9]*/environ; do
    grep -qxzF -- "WINEPREFIX=$1" "$env" 2>/dev/null && n=$((n + 1))
  done
  echo "$n"
}

# Stand-in probes: each answers with one of the real probe's exit codes.
for answer in 0:can 1:cannot 2:broken; do
  printf '#!/bin/sh\necho "stand-in: %s"\nexit %s\n' "${answer#*:}" "${answer%%:*}" \
    >"$work/probe-${answer#*:}"
  chmod +x "$work/probe-${answer#*:}"
done
ran=$work/ran
gate() { QUILLMIX_PROBE_32BIT=$work/probe-$1 "$tools/needs-32bit.sh" sh -c "touch $ran; exit 5"; }

out=$(gate cannot); rc=$?
check "cannot: skipped with exit 77" '[ "$rc" -eq 77 ]'
check "cannot: the line gives the probe's answer and the probe" \
  'grep -q "^skipped: stand-in: cannot (decided by $work/probe-cannot)$" <<<"$out"'
check "cannot: the test did not run" '[ ! -e "$ran" ]'
gate broken >/dev/null 2>&1; rc=$?
check "a failing probe fails the test instead of skipping it" '[ "$rc" -eq 1 ] && [ ! -e "$ran" ]'
gate can >/dev/null; rc=$?
check "can: the test runs and its exit code is the gate's" '[ "$rc" -eq 5 ] && [ -e "$ran" ]'
out=$("$tools/probe-32bit.sh"); rc=$?
echo "probe-32bit.sh on this machine: $out (exit $rc)"
check "the real probe answers can or cannot" \
  '{ [ "$rc" -eq 0 ] && grep -q "can run 32-bit" <<<"$out"; } ||
   { [ "$rc" -eq 1 ] && grep -q "cannot run 32-bit" <<<"$out"; }'

session=$work/session
"$tools/wine-session.sh" start "$session" >/dev/null 2>"$work/start.err"; rc=$?
check "a session starts" '[ "$rc" -eq 0 ]'
"$tools/wine-run.sh" "$session" cmd /c echo hi >/dev/null 2>&1
check "the session's prefix has processes while it runs" '[ "$(prefix_processes "$session/prefix")" -gt 0 ]'
xvfb=$(cat "$session/xvfb.pid")
# A process of the prefix that its wineserver does not know (a loader that never reached
# it): the stop must end it too, by its process id.
WINEPREFIX=$session/prefix sleep 300 &
stray=$!
"$tools/wine-session.sh" stop "$session"
check "its stop leaves no process of the prefix" '[ "$(prefix_processes "$session/prefix")" -eq 0 ]'
check "its stop ends its Xvfb" '! kill -0 "$xvfb" 2>/dev/null'
check "and a process of the prefix that Wine does not know" '! kill -0 "$stray" 2>/dev/null'
kill "$stray" 2>/dev/null

# A Wine that is not there: the start must fail, say why, and leave nothing running.
broken=$work/broken
xvfbs_before=$(pgrep -x Xvfb | sort)
QUILLMIX_WINE10_ROOT=$work/no-wine "$tools/wine-session.sh" start "$broken" >/dev/null 2>"$work/broken.err"
rc=$?
check "a start without its Wine fails" '[ "$rc" -ne 0 ]'
check "and says why" 'grep -q "no Wine session in $broken" "$work/broken.err"'
check "and leaves no Xvfb of its own" '[ "$(pgrep -x Xvfb | sort)" = "$xvfbs_before" ]'
check "and no process of its prefix" '[ "$(prefix_processes "$broken/prefix")" -eq 0 ]'
msg=$("$tools/wine-run.sh" "$broken" cmd /c echo hi 2>&1); rc=$?
check "a test in it is told that the start failed" '[ "$rc" -ne 0 ] && grep -q "its start failed" <<<"$msg"'

rm -rf "$work"
[ "$failures" -eq 0 ]
