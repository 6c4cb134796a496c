#!/usr/bin/env bash
# Runs e2e_monitors_test.exe in a Wine session of its own with two monitors (Xorg's dummy
# driver), stopped by process id at the end. Without Xorg and its dummy driver the test
# says so and is skipped (exit 77).
set -euo pipefail
program=${1:?usage: $0 e2e_monitors_test.exe}
tools=$QUILLMIX_SOURCE/tools
if ! command -v Xorg >/dev/null || ! command -v xrandr >/dev/null ||
  [ ! -f /usr/lib/xorg/modules/drivers/dummy_drv.so ]; then
  echo "SKIPPED: two monitors need Xorg, its dummy driver and xrandr (tools/setup.sh installs them)"
  exit 77
fi
session=$QUILLMIX_BIN/monitors-session
trap '"$tools/wine-session.sh" stop "$session"' EXIT
QUILLMIX_MONITORS=2 "$tools/wine-session.sh" start "$session"
QUILLMIX_WINE_SESSION=$session "$tools/wine-run.sh" "$session" "$program"
