#!/usr/bin/env bash
# A Wine session for one test run: a fresh WINEPREFIX and its own Xvfb display.
#   wine-session.sh start DIR   make DIR/prefix anew, start Xvfb and a persistent wineserver
#   wine-session.sh stop DIR    stop that wineserver and that Xvfb (by process id)
# tools/wine-run.sh runs a program inside the session.
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?session directory}
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver

stop_session() {
  if [ -f "$dir/prefix/system.reg" ]; then
    WINEPREFIX="$dir/prefix" "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    pid=$(cat "$dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$dir/xvfb.pid"
  fi
}

case "$cmd" in
start)
  stop_session
  rm -rf "$dir"
  mkdir -p "$dir"
  # A display number nobody uses.
  n=${QUILLMIX_DISPLAY_BASE:-90}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${QUILLMIX_SCREEN:-1024x768x24}" -nolisten tcp -noreset </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  echo ":$n" >"$dir/display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export WINEPREFIX="$dir/prefix" WINEDEBUG=-all DISPLAY=":$n"
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$WINEPREFIX"
  # Started detached from our output: CTest waits for every process holding its pipes.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE64" wineboot -i >"$dir/wineboot.log" 2>&1
  # Wine draws the caption buttons with Marlett; Debian's fonts-wine has it, but this Wine
  # does not look in its folder, so the prefix gets a copy (else the close box shows "r").
  [ ! -f /usr/share/wine/fonts/marlett.ttf ] ||
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  # No window manager runs on Xvfb: Wine draws captions and borders itself.
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$dir/wineboot.log" 2>&1
  echo "wine session ready: prefix $WINEPREFIX, display $DISPLAY"
  ;;
stop)
  stop_session
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
