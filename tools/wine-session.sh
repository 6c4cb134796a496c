#!/usr/bin/env bash
# A Wine session for one test run: a fresh WINEPREFIX and its own Xvfb display.
#   wine-session.sh start DIR   make DIR/prefix anew, start Xvfb and a persistent wineserver
#   wine-session.sh stop DIR    stop that wineserver, every process of the prefix and that
#                               Xvfb (by process id)
# A start that cannot make the prefix fails with the reason, stops what it started, and
# leaves it in DIR/failed for the tests that find no session.
# tools/wine-run.sh runs a program inside the session, with the session's Wine:
#   QUILLMIX_WINE=10 (default)  Wine 10 of the chroot (tools/setup-wine10.sh): 64-bit programs
#                               and, in its WoW64 mode, 32-bit ones
#   QUILLMIX_WINE=host          the machine's own Wine (8.0 on Debian 12): 64-bit programs only
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?session directory}
tools=$(cd "$(dirname "$0")" && pwd)

# The session's Wine, as chosen at its start: sets which, and the commands wine and wineserver.
session_wine() {
  which=${QUILLMIX_WINE:-10}
  [ ! -f "$dir/wine" ] || which=$(cat "$dir/wine")
  case "$which" in
  10)
    export QUILLMIX_WINE10_BINDS=$dir${QUILLMIX_WINE10_BINDS:+:$QUILLMIX_WINE10_BINDS}
    wine=("$tools/wine10-exec.sh" /usr/lib/wine/wine64)
    root10=${QUILLMIX_WINE10_ROOT:-/var/cache/quillmix/wine10-trixie}
    # Debian's wineserver is a wrapper that puts -p0 first, after which -k ends nothing.
    wineserver=("$tools/wine10-exec.sh" /usr/lib/wine/wineserver64)
    [ -x "$root10/usr/lib/wine/wineserver64" ] ||
      wineserver=("$tools/wine10-exec.sh" /usr/lib/wine/wineserver)
    fonts=$root10/usr/share/wine/fonts
    ;;
  host)
    wine=(/usr/lib/wine/wine64)
    wineserver=(/usr/lib/wine/wineserver64)
    [ -x "${wineserver[0]}" ] || wineserver=(/usr/lib/wine/wineserver)
    fonts=/usr/share/wine/fonts
    ;;
  *)
    echo "wine-session: QUILLMIX_WINE is 10 or host, not '$which'" >&2
    exit 2
    ;;
  esac
}

# The processes of this prefix, found by the WINEPREFIX in their environment: the
# wineserver, services.exe, winedevice.exe and whatever a test left, in either Wine.
prefix_pids() {
  local want=WINEPREFIX=$1 env pid
  for env in /proc/[0-9]*/environ; do
    pid=${env#/proc/}
    pid=${pid%/environ}
    [ "$pid" != $$ ] || continue
    grep -qxzF -- "$want" "$env" 2>/dev/null && echo "$pid"
  done
  return 0
}

end_prefix_processes() {
  local prefix=$1 pids
  mapfile -t pids < <(prefix_pids "$prefix")
  [ ${#pids[@]} -gt 0 ] || return 0
  kill -TERM "${pids[@]}" 2>/dev/null || true
  for _ in $(seq 50); do
    mapfile -t pids < <(prefix_pids "$prefix")
    [ ${#pids[@]} -gt 0 ] || return 0
    sleep 0.1
  done
  kill -KILL "${pids[@]}" 2>/dev/null || true
}

stop_session() {
  if [ -d "$dir/prefix" ]; then
    session_wine
    WINEPREFIX="$dir/prefix" "${wineserver[@]}" -k >/dev/null 2>&1 || true
    end_prefix_processes "$dir/prefix"
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    pid=$(cat "$dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$dir/xvfb.pid"
  fi
}

# Ends a start that went wrong: says why, stops everything it started, and leaves the
# reason where wine-run.sh tells it to the tests.
fail() {
  echo "wine-session: no Wine session in $dir: $1" >&2
  [ ! -s "$dir/wineboot.log" ] || tail -n 20 "$dir/wineboot.log" >&2
  stop_session
  rm -f "$dir/display"
  echo "$1" >"$dir/failed"
  exit 1
}

case "$cmd" in
start)
  stop_session
  rm -rf "$dir"
  mkdir -p "$dir"
  session_wine
  echo "$which" >"$dir/wine"
  # Without them no display would ever start below.
  if [ "${QUILLMIX_MONITORS:-1}" = 2 ] && { ! command -v Xorg >/dev/null || ! command -v xrandr >/dev/null ||
    [ ! -f /usr/lib/xorg/modules/drivers/dummy_drv.so ]; }; then
    fail "two monitors need Xorg, its dummy driver and xrandr (tools/setup.sh installs them)"
  fi
  # A display number nobody uses. The display is ours once its lock file names our Xvfb: a
  # session started at the same moment elsewhere may take the number first, and then this
  # one tries the next (else both sessions' windows and input would share one display).
  n=${QUILLMIX_DISPLAY_BASE:-90}
  while :; do
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    if [ "${QUILLMIX_MONITORS:-1}" = 2 ]; then
      # Two monitors side by side, 800 x 600 and 640 x 480, as RandR outputs of Xorg's
      # dummy driver: Wine 10 sees them where they are (Xephyr's Xinerama heads it puts
      # both at 0, 0).
      printf '%s\n' 'Section "ServerFlags"' '  Option "AutoAddDevices" "false"' 'EndSection' \
        'Section "Device"' '  Identifier "dummy"' '  Driver "dummy"' '  VideoRam 32000' 'EndSection' \
        'Section "Screen"' '  Identifier "screen"' '  Device "dummy"' '  DefaultDepth 24' \
        '  SubSection "Display"' '    Depth 24' '    Virtual 1440 600' '  EndSubSection' 'EndSection' \
        >"$dir/xorg.conf"
      Xorg ":$n" -config "$dir/xorg.conf" -noreset -nolisten tcp -novtswitch -sharevts \
        -logfile "$dir/xorg.log" </dev/null >"$dir/xvfb.log" 2>&1 &
    else
      Xvfb ":$n" -screen 0 "${QUILLMIX_SCREEN:-1024x768x24}" -nolisten tcp -noreset </dev/null >"$dir/xvfb.log" 2>&1 &
    fi
    pid=$!
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ] && break
      sleep 0.05
    done
    [ "$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ] && kill -0 "$pid" 2>/dev/null && break
    kill "$pid" 2>/dev/null || true
    n=$((n + 1))
  done
  echo "$pid" >"$dir/xvfb.pid"
  echo ":$n" >"$dir/display"
  if [ "${QUILLMIX_MONITORS:-1}" = 2 ]; then
    export DISPLAY=":$n"
    xrandr --newmode 640x480_two 23.86 640 656 720 800 480 483 487 500 -hsync +vsync &&
      xrandr --addmode DUMMY1 640x480_two &&
      xrandr --output DUMMY0 --mode 800x600 --pos 0x0 --primary \
        --output DUMMY1 --mode 640x480_two --pos 800x0 ||
      fail "xrandr could not lay out the two monitors"
    # A full query makes the server probe its outputs again; Wine asks for the current
    # state only, which shows one monitor until then.
    xrandr --query >/dev/null
  fi
  export WINEPREFIX="$dir/prefix" WINEDEBUG=-all DISPLAY=":$n"
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$WINEPREFIX"
  # Started detached from our output: CTest waits for every process holding its pipes.
  "${wineserver[@]}" -p </dev/null >/dev/null 2>&1 || fail "the wineserver did not start"
  rc=0
  "${wine[@]}" wineboot -i >"$dir/wineboot.log" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] || fail "wineboot -i failed with exit code $rc"
  for made in drive_c/windows/system32/kernel32.dll drive_c/windows/system32/user32.dll; do
    [ -e "$WINEPREFIX/$made" ] || fail "wineboot made no $made in the prefix"
  done
  # Wine draws the caption buttons with Marlett; Debian's fonts-wine has it, but Debian's
  # Wine 8 does not look in its folder, so the prefix gets a copy (else the close box shows "r").
  [ ! -f "$fonts/marlett.ttf" ] || cp "$fonts/marlett.ttf" "$WINEPREFIX/drive_c/windows/Fonts/"
  # No window manager runs on Xvfb: Wine draws captions and borders itself.
  "${wine[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$dir/wineboot.log" 2>&1
  echo "wine session ready: Wine $(cat "$dir/wine"), prefix $WINEPREFIX, display $DISPLAY"
  ;;
stop)
  stop_session
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
