#!/usr/bin/env bash
# Regenerates docs/config-dialog-status.png: the configuration dialog of the built
# Quillmix.scr with the savers' status (see tools/screenshot-config.sh --status).
#   tools/screenshot-status.sh [BUILD_DIR] [OUT_PNG]
set -euo pipefail
cd "$(dirname "$0")/.."
exec tools/screenshot-config.sh "${1:-build/x64}" "${2:-docs/config-dialog-status.png}" --status
