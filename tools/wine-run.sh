#!/usr/bin/env bash
# Runs a Windows program in the Wine session of DIR (see wine-session.sh):
#   wine-run.sh DIR PROGRAM [ARGS...]
set -euo pipefail
dir=${1:?session directory}
shift
if [ ! -f "$dir/display" ]; then
  if [ -f "$dir/failed" ]; then
    echo "wine-run: no Wine session in $dir: its start failed: $(cat "$dir/failed")" >&2
  else
    echo "wine-run: no Wine session in $dir (run tools/wine-session.sh start $dir)" >&2
  fi
  exit 2
fi
export WINEPREFIX="$dir/prefix" WINEDEBUG=${WINEDEBUG:--all} DISPLAY=$(cat "$dir/display")
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The session's Wine (wine-session.sh says which).
case $(cat "$dir/wine" 2>/dev/null) in
host) exec /usr/lib/wine/wine64 "$@" ;;
*)
  export QUILLMIX_WINE10_BINDS=$dir${QUILLMIX_WINE10_BINDS:+:$QUILLMIX_WINE10_BINDS}
  exec "$(dirname "$0")/wine10-exec.sh" /usr/lib/wine/wine64 "$@"
  ;;
esac
