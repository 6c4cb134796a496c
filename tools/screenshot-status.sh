#!/usr/bin/env bash
# Regenerates docs/config-dialog-status.png: the configuration dialog of the built
# Quillmix.scr with the savers' status, in a Wine session of its own.
#   tools/screenshot-status.sh [BUILD_DIR] [OUT_PNG]
# BUILD_DIR is an x64 build with tests (default build/x64); it needs Quillmix.scr, the
# fixture savers and tests/config/config_probe.exe built. A crashing and a quitting saver
# are listed beside the samples, after three runs of run mode that passed over them, and
# the crashing one is selected.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/x64}")
out=$(realpath -m "${2:-docs/config-dialog-status.png}")
session=$build/screenshot-session
key='HKCU\Software\Brindlecraft\Quillmix'
probe=$build/tests/config/config_probe.exe
for f in "$build/Quillmix.scr" "$probe" "$build/tests/fixtures/SampleAurora.scr"; do
  [ -f "$f" ] || { echo "screenshot-status: $f is missing; build it first" >&2; exit 2; }
done

tools/wine-session.sh start "$session" >/dev/null
pid=
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  tools/wine-session.sh stop "$session"
}
trap cleanup EXIT

savers="$session/Screen Savers"
mkdir -p "$savers"
cp "$build"/tests/fixtures/{SampleAurora,SampleTiles,SampleBounce}.scr "$savers/"
winpath() { echo "Z:$1" | tr / '\\'; }
tools/wine-run.sh "$session" reg add "$key\\Folders" /v 00 /d "$(winpath "$savers")" /f >/dev/null
# Two of the three ticked, a new saver every 10 minutes.
tools/wine-run.sh "$session" reg add "$key\\Savers" /v 000 /d "$(winpath "$savers")\\SampleAurora.scr" /f >/dev/null
tools/wine-run.sh "$session" reg add "$key\\Savers" /v 001 /d "$(winpath "$savers")\\SampleTiles.scr" /f >/dev/null
tools/wine-run.sh "$session" reg add "$key" /v ShuffleSavers /t REG_DWORD /d 1 /f >/dev/null
tools/wine-run.sh "$session" reg add "$key" /v ShuffleDelay /t REG_DWORD /d 10 /f >/dev/null

cp "$build"/tests/fixtures/{Crash,ExitAtOnce}.scr "$savers/"
broken() {
  tools/wine-run.sh "$session" reg delete "$key\\Savers" /f >/dev/null 2>&1 || true
  local i=0
  for name in "$@"; do
    tools/wine-run.sh "$session" reg add "$key\\Savers" /v "00$i" /d "$(winpath "$savers")\\$name" /f >/dev/null
    i=$((i + 1))
  done
}
# Run mode passes over them; the black cover then waits for the user, here a mouse move.
for run in 1 2 3; do
  if [ "$run" = 3 ]; then broken Crash.scr; else broken Crash.scr ExitAtOnce.scr; fi
  tools/wine-run.sh "$session" "$build/Quillmix.scr" /s &
  pid=$!
  sleep 5
  DISPLAY=$(cat "$session/display") xdotool mousemove_relative -- 40 40
  wait "$pid"
  pid=
done
broken SampleAurora.scr SampleTiles.scr ExitAtOnce.scr

tools/wine-run.sh "$session" "$build/Quillmix.scr" &
pid=$!
tools/wine-run.sh "$session" "$probe" wait >/dev/null
read -r x y w h < <(tools/wine-run.sh "$session" "$probe" rect | tr -d '\r')
read -r cx cy < <(tools/wine-run.sh "$session" "$probe" label "Fixture Crash" | tr -d '\r')
DISPLAY=$(cat "$session/display") xdotool mousemove "$cx" "$cy" click 1
# Let the first paint finish before the picture is taken.
sleep 1
mkdir -p "$(dirname "$out")"
DISPLAY=$(cat "$session/display") import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out (${w}x${h})"
