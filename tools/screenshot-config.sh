#!/usr/bin/env bash
# Regenerates docs/config-dialog.png: the configuration dialog of the built Quillmix.scr
# with the sample savers listed, in a Wine session of its own.
#   tools/screenshot-config.sh [BUILD_DIR] [OUT_PNG] [SAVER...]
# BUILD_DIR is an x64 build with tests (default build/x64); it needs Quillmix.scr, the
# fixture savers and tests/config/config_probe.exe built. SAVERs are fixture names (default
# SampleAurora SampleTiles SampleBounce); the first two are ticked. docs/config-dialog-scripts.png:
#   tools/screenshot-config.sh build/x64 docs/config-dialog-scripts.png SampleAurora Japanese Cyrillic Greek SampleTiles
# With --status in place of the SAVERs (tools/screenshot-status.sh), a crashing and a quitting
# saver are listed beside the samples, after three runs of run mode that passed over them,
# and the crashing one is selected.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/x64}")
out=$(realpath -m "${2:-docs/config-dialog.png}")
shift $(($# < 2 ? $# : 2))
status=0
if [ "${1:-}" = --status ]; then status=1; shift; fi
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(SampleAurora SampleTiles SampleBounce)
[ "$status" = 0 ] || names+=(Crash ExitAtOnce)
session=$build/screenshot-session
key='HKCU\Software\Brindlecraft\Quillmix'
probe=$build/tests/config/config_probe.exe
need=("$build/Quillmix.scr" "$probe")
for name in "${names[@]}"; do need+=("$build/tests/fixtures/$name.scr"); done
for f in "${need[@]}"; do
  [ -f "$f" ] || { echo "screenshot-config: $f is missing; build it first" >&2; exit 2; }
done

tools/wine-session.sh start "$session" >/dev/null
pid=
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  tools/wine-session.sh stop "$session"
}
trap cleanup EXIT

# Windows draws characters that Tahoma lacks with the East Asian fonts linked to it
# (FontLink\SystemLink); Wine does the same but ships no such font, so the prefix gets
# Debian's Droid Sans Fallback (fonts-droid-fallback, from tools/setup.sh) and the link.
cjk=/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf
if [ -f "$cjk" ]; then
  cp "$cjk" "$session/prefix/drive_c/windows/Fonts/"
  tools/wine-run.sh "$session" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans\0DroidSansFallbackFull.ttf,Droid Sans Fallback' /f >/dev/null
fi

savers="$session/Screen Savers"
mkdir -p "$savers"
for name in "${names[@]}"; do cp "$build/tests/fixtures/$name.scr" "$savers/"; done
winpath() { echo "Z:$1" | tr / '\\'; }
tools/wine-run.sh "$session" reg add "$key\\Folders" /v 00 /d "$(winpath "$savers")" /f >/dev/null
# The selection as these savers, in order.
select_savers() {
  tools/wine-run.sh "$session" reg delete "$key\\Savers" /f >/dev/null 2>&1 || true
  local i=0
  for name in "$@"; do
    tools/wine-run.sh "$session" reg add "$key\\Savers" /v "00$i" /d "$(winpath "$savers")\\$name" /f >/dev/null
    i=$((i + 1))
  done
}
# The first two ticked, a new saver every 10 minutes.
first=("${names[@]:0:2}")
select_savers "${first[@]/%/.scr}"
tools/wine-run.sh "$session" reg add "$key" /v ShuffleSavers /t REG_DWORD /d 1 /f >/dev/null
tools/wine-run.sh "$session" reg add "$key" /v ShuffleDelay /t REG_DWORD /d 10 /f >/dev/null

if [ "$status" = 1 ]; then
  # Run mode passes over them; the black cover then waits for the user, here a mouse move.
  for run in 1 2 3; do
    if [ "$run" = 3 ]; then select_savers Crash.scr; else select_savers Crash.scr ExitAtOnce.scr; fi
    tools/wine-run.sh "$session" "$build/Quillmix.scr" /s &
    pid=$!
    sleep 5
    DISPLAY=$(cat "$session/display") xdotool mousemove_relative -- 40 40
    wait "$pid"
    pid=
  done
  select_savers SampleAurora.scr SampleTiles.scr ExitAtOnce.scr
fi

tools/wine-run.sh "$session" "$build/Quillmix.scr" &
pid=$!
tools/wine-run.sh "$session" "$probe" wait >/dev/null
read -r x y w h < <(tools/wine-run.sh "$session" "$probe" rect | tr -d '\r')
if [ "$status" = 1 ]; then
  read -r cx cy < <(tools/wine-run.sh "$session" "$probe" label "Fixture Crash" | tr -d '\r')
  DISPLAY=$(cat "$session/display") xdotool mousemove "$cx" "$cy" click 1
fi
# Let the first paint finish before the picture is taken.
sleep 1
mkdir -p "$(dirname "$out")"
DISPLAY=$(cat "$session/display") import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out (${w}x${h})"
