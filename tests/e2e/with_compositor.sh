#!/usr/bin/env bash
# Runs a test command with a compositing manager (xcompmgr -n) on the Wine session's Xvfb
# display, started before it and stopped after it by process id. Without a compositor X
# cannot blend one program's layered window over another's, so a fade shows as black.
# Wine reads the screen from its own window surfaces, without the compositor's blending, so
# a probe writes what X shows at the middle of the screen, three bytes R, G, B, into a file
# named to the command by QUILLMIX_X_SCREEN_PROBE (a Windows path), again and again.
#   with_compositor.sh SESSION-DIR COMMAND...
set -euo pipefail
dir=${1:?session directory}
shift
if [ ! -f "$dir/display" ]; then
  echo "with_compositor: no Wine session in $dir" >&2
  exit 2
fi
DISPLAY=$(cat "$dir/display") xcompmgr -n &
compositor=$!
probe_file="$dir/x-screen-middle"
rm -f "$probe_file"
(
  while kill -0 "$compositor" 2>/dev/null; do
    DISPLAY=$(cat "$dir/display") import -window root png:- 2>/dev/null |
      convert png:- -gravity center -crop 1x1+0+0 +repage -depth 8 rgb:"$probe_file.tmp" 2>/dev/null &&
      mv -f "$probe_file.tmp" "$probe_file"
  done
) &
probe=$!
trap 'kill "$compositor" 2>/dev/null; wait "$compositor" "$probe" 2>/dev/null || true' EXIT
export QUILLMIX_X_SCREEN_PROBE="Z:${probe_file//\//\\}"
# The compositor must be redirecting windows before the first one is drawn.
sleep 1
if ! kill -0 "$compositor" 2>/dev/null; then
  echo "with_compositor: xcompmgr did not start on $(cat "$dir/display")" >&2
  exit 2
fi
"$@"
