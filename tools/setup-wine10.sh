#!/usr/bin/env bash
# Makes the Wine 10 that runs both builds' tests: Debian trixie's wine64 and libwine in a
# chroot of their own (mmdebstrap; the host's packages and apt sources stay as they are),
# with the 32-bit PE DLLs of libwine:i386 of the same version unpacked into the 64-bit
# Wine's i386-windows folder, so that Wine's WoW64 mode runs 32-bit programs in its 64-bit
# process. About 2 minutes and 1.7 GB, made once per machine: a complete chroot of this
# recipe is reused, by every clone. tools/wine10-exec.sh runs its programs.
set -euo pipefail
root=${QUILLMIX_WINE10_ROOT:-/var/cache/quillmix/wine10-trixie}
mirror=${QUILLMIX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The X client libraries and fonts that libwine loads at run time (it only recommends them).
packages=wine64,libwine,fonts-wine,fontconfig,libfreetype6,libfontconfig1,libx11-6,libxext6
packages+=,libxrender1,libxrandr2,libxi6,libxcursor1,libxfixes3,libxinerama1,libxcomposite1
# The tests give X-level input (a person's pointer and keys) from inside Wine with it.
packages+=,xdotool
recipe="trixie $packages i386-windows 1"

[ "$(cat "$root/.quillmix-ready" 2>/dev/null)" != "$recipe" ] || exit 0

mkdir -p "$(dirname "$root")"
# One set-up at a time on this machine; the others then find it done.
exec 9>"$root.lock"
flock 9
[ "$(cat "$root/.quillmix-ready" 2>/dev/null)" != "$recipe" ] || exit 0

echo "setup: making the Wine 10 chroot in $root (about 2 minutes)"
tmp=$root.new
rm -rf "$tmp"
# The hook takes the PE DLLs of the i386 libwine that matches the installed libwine.
# shellcheck disable=SC2016 # expanded by mmdebstrap's hook shell
mmdebstrap --quiet --variant=apt --mode=root --architectures=amd64,i386 --include="$packages" \
  --customize-hook='v=$(chroot "$1" dpkg-query -W -f="\${Version}" libwine:amd64) &&
    chroot "$1" sh -c "cd /tmp && apt-get download -q libwine:i386=$v &&
      dpkg-deb -x libwine_*_i386.deb libwine-i386" &&
    cp -an "$1/tmp/libwine-i386/usr/lib/i386-linux-gnu/wine/i386-windows/." \
      "$1/usr/lib/x86_64-linux-gnu/wine/i386-windows/" &&
    rm -rf "$1"/tmp/libwine*' \
  trixie "$tmp" "$mirror"
for f in usr/lib/wine/wine64 usr/lib/x86_64-linux-gnu/wine/i386-windows/kernel32.dll \
  usr/lib/x86_64-linux-gnu/wine/i386-windows/user32.dll; do
  [ -e "$tmp/$f" ] || { echo "setup: the Wine 10 chroot lacks /$f" >&2; exit 1; }
done
echo "$recipe" >"$tmp/.quillmix-ready"
rm -rf "$root"
mv "$tmp" "$root"
echo "setup: Wine $("$(dirname "$0")/wine10-exec.sh" /usr/lib/wine/wine64 --version) ready in $root"
