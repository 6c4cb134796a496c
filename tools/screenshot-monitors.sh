#!/usr/bin/env bash
# Run mode with a different saver on each of two monitors (800 x 600 and 640 x 480 side by
# side, Xorg's dummy driver), in a Wine session of its own:
#   tools/screenshot-monitors.sh [BUILD_DIR] [OUT]
# Writes OUT (default docs/run-two-monitors.png), the whole 1440 x 600 screen. BUILD_DIR is
# a build with tests (default build/x64).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/x64}")
out=$(realpath -m "${2:-docs/run-two-monitors.png}")
session=$build/screenshot-monitors-session
key='HKCU\Software\Brindlecraft\Quillmix'
for f in "$build/Quillmix.scr" "$build/tests/fixtures/SampleAurora.scr"; do
  [ -f "$f" ] || { echo "screenshot-monitors: $f is missing; build it first" >&2; exit 2; }
done

QUILLMIX_MONITORS=2 tools/wine-session.sh start "$session" >/dev/null
saver=
cleanup() {
  [ -z "$saver" ] || kill "$saver" 2>/dev/null || true
  tools/wine-session.sh stop "$session"
}
trap cleanup EXIT
run() { tools/wine-run.sh "$session" "$@"; }
winpath() { echo "Z:$1" | tr / '\\'; }

savers="$session/Screen Savers"
mkdir -p "$savers"
cp "$build"/tests/fixtures/{SampleAurora,SampleTiles}.scr "$savers/"
run reg add "$key\\Savers" /v 000 /d "$(winpath "$savers")\\SampleAurora.scr" /f >/dev/null
run reg add "$key\\Savers" /v 001 /d "$(winpath "$savers")\\SampleTiles.scr" /f >/dev/null
run reg add "$key" /v MonitorMode /t REG_DWORD /d 1 /f >/dev/null

run "$build/Quillmix.scr" /s &
saver=$!
export DISPLAY=$(cat "$session/display")
for _ in $(seq 100); do
  [ "$(xdotool search --name 'Sample (Aurora|Tiles)' 2>/dev/null | wc -l)" -ge 2 ] && break
  sleep 0.2
done
sleep 2
mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
