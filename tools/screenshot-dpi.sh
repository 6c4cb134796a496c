#!/usr/bin/env bash
# The dialog and run mode's desktop picture on a high-DPI screen, in a Wine session of its
# own whose display is set to DPI (Wine reads HKCU\Control Panel\Desktop\LogPixels when a
# process starts) on an Xvfb screen of 1024 x 768 scaled by DPI / 96:
#   tools/screenshot-dpi.sh DPI [BUILD_DIR] [OUT_DIR]
# Writes OUT_DIR/config-dialog-DPI.png (the dialog) and OUT_DIR/run-desktop-DPI.png (the
# whole screen while run mode shows its desktop picture, with the dialog on that desktop),
# and says whether the cover's picture is the desktop pixel for pixel. BUILD_DIR is an x64
# build with tests (default build/x64); OUT_DIR defaults to docs.
set -euo pipefail
cd "$(dirname "$0")/.."
dpi=${1:?usage: $0 DPI [BUILD_DIR] [OUT_DIR]}
build=$(realpath "${2:-build/x64}")
out=$(realpath -m "${3:-docs}")
session=$build/screenshot-dpi-session
key='HKCU\Software\Brindlecraft\Quillmix'
probe=$build/tests/config/config_probe.exe
for f in "$build/Quillmix.scr" "$probe" "$build/tests/fixtures/SampleAurora.scr"; do
  [ -f "$f" ] || { echo "screenshot-dpi: $f is missing; build it first" >&2; exit 2; }
done

QUILLMIX_SCREEN="$((1024 * dpi / 96))x$((768 * dpi / 96))x24" tools/wine-session.sh start "$session" >/dev/null
dialog=
cover=
cleanup() {
  for p in $cover $dialog; do kill "$p" 2>/dev/null || true; done
  tools/wine-session.sh stop "$session"
}
trap cleanup EXIT
run() { tools/wine-run.sh "$session" "$@"; }
shot() { DISPLAY=$(cat "$session/display") import -window root "$@"; }
winpath() { echo "Z:$1" | tr / '\\'; }

run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
savers="$session/Screen Savers"
mkdir -p "$savers"
cp "$build"/tests/fixtures/{SampleAurora,SampleTiles,SampleBounce}.scr "$savers/"
run reg add "$key\\Folders" /v 00 /d "$(winpath "$savers")" /f >/dev/null
run reg add "$key\\Savers" /v 000 /d "$(winpath "$savers")\\SampleAurora.scr" /f >/dev/null
run reg add "$key\\Savers" /v 001 /d "$(winpath "$savers")\\SampleTiles.scr" /f >/dev/null
run reg add "$key" /v ShuffleSavers /t REG_DWORD /d 1 /f >/dev/null
run reg add "$key" /v ShuffleDelay /t REG_DWORD /d 10 /f >/dev/null

run "$build/Quillmix.scr" /c &
dialog=$!
run "$probe" wait >/dev/null
read -r x y w h < <(run "$probe" rect | tr -d '\r')
sleep 1
mkdir -p "$out"
shot -crop "${w}x${h}+${x}+${y}" +repage "$out/config-dialog-$dpi.png"
echo "wrote $out/config-dialog-$dpi.png (${w}x${h} at $dpi DPI)"

# Run mode over that desktop, showing the desktop between savers. The saver is one that
# starts and shows nothing (the command interpreter), so the desktop picture stays.
blank="$session/Blank"
mkdir -p "$blank"
cp "$session/prefix/drive_c/windows/system32/cmd.exe" "$blank/Blank.scr"
run reg add "$key\\Savers" /v 000 /d "$(winpath "$blank")\\Blank.scr" /f >/dev/null
run reg delete "$key\\Savers" /v 001 /f >/dev/null
run reg add "$key" /v ShowDesktop /t REG_DWORD /d 1 /f >/dev/null
before=$session/desktop.png
shot "$before"
run "$build/Quillmix.scr" /s &
cover=$!
for _ in $(seq 100); do
  DISPLAY=$(cat "$session/display") xdotool search --name '^Quillmix$' >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 2
# The interpreter's console window is taken off the screen for the picture; behind it the
# cover shows what the desktop showed.
console=$(DISPLAY=$(cat "$session/display") xdotool search --name 'Blank\.scr' 2>/dev/null | head -n 1 || true)
[ -z "$console" ] || DISPLAY=$(cat "$session/display") xdotool windowunmap --sync "$console"
sleep 1
shot "$out/run-desktop-$dpi.png"
coverid=$(DISPLAY=$(cat "$session/display") xdotool search --onlyvisible --name '^Quillmix$' 2>/dev/null | head -n 1 || true)
[ -n "$coverid" ] || { echo "screenshot-dpi: run mode's cover is not on the screen" >&2; exit 1; }
geometry=$(DISPLAY=$(cat "$session/display") xdotool getwindowgeometry "$coverid" | sed -n 's/.*Geometry: //p')
echo "run mode's cover: $geometry pixels"
size=$(identify -format '%wx%h' "$out/run-desktop-$dpi.png")
diff=$(compare -metric AE "$before" "$out/run-desktop-$dpi.png" null: 2>&1 || true)
echo "wrote $out/run-desktop-$dpi.png ($size); pixels that differ from the desktop: $diff"
# The user comes back: a mouse move ends run mode (a saver that merely ends is passed over,
# and the show goes on).
for _ in $(seq 20); do
  kill -0 "$cover" 2>/dev/null || break
  DISPLAY=$(cat "$session/display") xdotool mousemove_relative -- 40 40
  sleep 0.5
done
wait "$cover" || true
cover=
