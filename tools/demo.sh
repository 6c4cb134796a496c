#!/usr/bin/env bash
# The main job: builds everything, prepares a project-local Wine prefix (.demo/) with the
# sample savers installed in its system directory, and starts Quillmix.scr there.
#   tools/demo.sh [config|run|preview] [x86|x64]     (default: config, x86)
# x86 is the shipped 32-bit build (run by Wine 10 in its WoW64 mode), x64 the 64-bit one;
# QUILLMIX_DEMO_BUILD=x64 chooses the build as well. Where this machine cannot run 32-bit
# code (tools/probe-32bit.sh), the default falls back to x64 with a line saying why.
# With a usable $DISPLAY the program runs there for you to use. Without one it runs on a
# private Xvfb display, a screenshot is written to build/demo/<mode>.png, and the program
# is closed again the way a person would (Escape, a mouse move, closing the host).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-config}
build=${2:-${QUILLMIX_DEMO_BUILD:-}}
usage() {
  echo "usage: $0 [config|run|preview] [x86|x64]" >&2
  exit 2
}
case "$mode" in config | run | preview) ;; *) usage ;; esac
case "$build" in x86 | x64 | "") ;; *) usage ;; esac

user_display=""
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then user_display=$DISPLAY; fi

tools/build.sh >/dev/null

# The 32-bit build needs a machine that can run 32-bit code, which some cannot at all.
probe=${QUILLMIX_PROBE_32BIT:-tools/probe-32bit.sh}
if [ "$build" != x64 ]; then
  prc=0
  answer=$("$probe") || prc=$?
  case "$prc" in
  0) build=x86 ;;
  1)
    if [ "$build" = x86 ]; then
      echo "demo: the x86 build cannot run here: $answer (decided by $probe)" >&2
      exit 1
    fi
    echo "demo: showing the x64 build: $answer (decided by $probe)"
    build=x64
    ;;
  *)
    echo "demo: $probe could not tell whether this machine runs 32-bit code" >&2
    exit 1
    ;;
  esac
fi

session=$root/.demo/session
tools/wine-session.sh start "$session" >/dev/null
trap 'tools/wine-session.sh stop "$session"' EXIT
[ -z "$user_display" ] || echo "$user_display" >"$session/display"
export DISPLAY=$(cat "$session/display")

# The sample savers of the build's bitness and the build itself in the 64-bit system folder,
# as on 64-bit Windows, where either build lists that folder's savers.
folder=system32
cp "build/$build"/tests/fixtures/Sample*.scr "build/$build/Quillmix.scr" \
  "$session/prefix/drive_c/windows/$folder/"
scr="C:\\windows\\$folder\\Quillmix.scr"
out=$root/build/demo
mkdir -p "$out"

run() { tools/wine-run.sh "$session" "$@"; }

# Waits until a window with this title exists; prints its X id.
wait_for_window() {
  for _ in $(seq 100); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "demo: no window titled '$1' appeared" >&2
  return 1
}

case "$mode" in
config)
  if [ -n "$user_display" ]; then run "$scr" /c; exit 0; fi
  run "$scr" /c &
  pid=$!
  wait_for_window "Quillmix Configuration" >/dev/null
  sleep 1
  import -window root "$out/config.png"
  xdotool search --name "^Quillmix Configuration\$" windowactivate --sync key Escape 2>/dev/null ||
    xdotool key Escape
  ;;
run)
  if [ -n "$user_display" ]; then run "$scr" /s; exit 0; fi
  run "$scr" /s &
  pid=$!
  wait_for_window "Quillmix" >/dev/null
  sleep 3
  import -window root "$out/run.png"
  # The user comes back: a real mouse move ends the saver and with it run mode.
  xdotool mousemove 100 100 sleep 0.3 mousemove 400 300 sleep 0.3 mousemove 600 500
  ;;
preview)
  # A stand-in for the display settings' preview area: it starts the saver with /p and its
  # window handle, and exits with the saver's exit code once it is closed.
  host=build/$build/tests/preview/PreviewHost.exe
  size=(240 180)
  if [ ! -f "$host" ]; then echo "demo: $host was not built" >&2; exit 1; fi
  if [ -n "$user_display" ]; then run "$host" "$scr" "${size[@]}"; exit 0; fi
  run "$host" "$scr" "${size[@]}" &
  pid=$!
  wait_for_window "Quillmix Preview Host" >/dev/null
  sleep 2
  import -window root "$out/preview.png"
  # Closing the host destroys its window and with it the preview, which then ends.
  xdotool search --name "^Quillmix Preview Host\$" windowfocus key Escape 2>/dev/null ||
    xdotool key Escape
  ;;
esac
rc=0
wait "$pid" || rc=$?
echo "Quillmix.scr ($build, $mode) exited with code $rc; screenshot: build/demo/$mode.png"
exit "$rc"
