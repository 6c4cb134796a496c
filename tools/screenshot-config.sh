#!/usr/bin/env bash
# Regenerates docs/config-dialog.png: the configuration dialog of the built Quillmix.scr
# with the sample savers listed, in a Wine session of its own.
#   tools/screenshot-config.sh [BUILD_DIR] [OUT_PNG]
# BUILD_DIR is an x64 build with tests (default build/x64); it needs Quillmix.scr, the
# fixture savers and tests/config/config_probe.exe built.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/x64}")
out=$(realpath -m "${2:-docs/config-dialog.png}")
session=$build/screenshot-session
key='HKCU\Software\Brindlecraft\Quillmix'
probe=$build/tests/config/config_probe.exe
for f in "$build/Quillmix.scr" "$probe" "$build/tests/fixtures/SampleAurora.scr"; do
  [ -f "$f" ] || { echo "screenshot-config: $f is missing; build it first" >&2; exit 2; }
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

tools/wine-run.sh "$session" "$build/Quillmix.scr" &
pid=$!
tools/wine-run.sh "$session" "$probe" wait >/dev/null
read -r x y w h < <(tools/wine-run.sh "$session" "$probe" rect | tr -d '\r')
# Let the first paint finish before the picture is taken.
sleep 1
mkdir -p "$(dirname "$out")"
DISPLAY=$(cat "$session/display") import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out (${w}x${h})"
