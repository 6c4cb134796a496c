#!/usr/bin/env bash
# Runs a program of the Wine 10 chroot (made by tools/setup-wine10.sh) with this machine's
# /proc, /dev, /sys and /tmp (Xvfb's socket, wineserver's) and the project's folders seen at
# the same paths inside, in a mount namespace of its own that ends with the program:
#   wine10-exec.sh PROGRAM [ARGS...]        e.g. wine10-exec.sh /usr/lib/wine/wine64 app.exe
# Seen inside as well: the working folder and every folder of $QUILLMIX_WINE10_BINDS
# (colon-separated). Needs root (this project's machines and CI run as root).
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
root=${QUILLMIX_WINE10_ROOT:-/var/cache/quillmix/wine10-trixie}
if [ ! -f "$root/.quillmix-ready" ]; then
  echo "wine10-exec: no Wine 10 chroot at $root (run tools/setup.sh)" >&2
  exit 2
fi
binds=("$project" "$PWD")
IFS=: read -r -a extra <<<"${QUILLMIX_WINE10_BINDS:-}"
for b in "${extra[@]}"; do [ -z "$b" ] || binds+=("$(realpath -m "$b")"); done

# shellcheck disable=SC2016 # expanded by the inner shell
exec unshare --mount --propagation private -- bash -euc '
  root=$1 cwd=$2 n=$3
  shift 3
  mount --rbind /proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  mount --rbind /tmp "$root/tmp"
  bound=(/tmp)
  for ((i = 0; i < n; i++)); do
    b=$1
    shift
    inside=0
    for p in "${bound[@]}"; do case "$b/" in "$p"/*) inside=1 ;; esac; done
    # The root itself would hide the chroot; a folder of the chroot is there already.
    case "$b/" in / | "$root"/*) inside=1 ;; esac
    if [ "$inside" -eq 1 ] || [ ! -d "$b" ]; then continue; fi
    mkdir -p "$root$b"
    mount --rbind "$b" "$root$b"
    bound+=("$b")
  done
  exec chroot "$root" /usr/bin/env --chdir="$cwd" "$@"
' wine10-exec "$root" "$PWD" "${#binds[@]}" "${binds[@]}" "$@"
