#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need, from Debian's packages, and
# makes the Wine 10 chroot that runs both builds (tools/setup-wine10.sh).
# Safe to run again: packages that are already there are left alone, a complete chroot too.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  mingw-w64-tools
  googletest
  # The machine's own Wine (8.0 on Debian 12): QUILLMIX_WINE=host runs the 64-bit suite in it.
  wine wine64
  # Makes the Wine 10 chroot from Debian trixie's packages.
  mmdebstrap
  # Marlett and the Tahoma look-alike: caption buttons and dialog text as on Windows.
  fonts-wine
  # East Asian glyphs for tools/screenshot-config.sh's prefix, as Windows links them to Tahoma.
  fonts-droid-fallback
  xvfb xdotool imagemagick x11-utils
  # Two monitors for the run-mode test of a saver per monitor: Xorg's dummy driver, laid
  # out with xrandr.
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  # A compositing manager: the run-mode test sees the fades blended on the screen with it.
  xcompmgr
  clang-format clang-tidy
  python3
  # Builds the Windows Installer package (wixl) and reads its tables back (msiinfo).
  msitools wixl
  # Builds tools/probe-32bit.c, which asks the kernel whether it runs 32-bit code.
  gcc libc6-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

$SUDO "$(dirname "$0")/setup-wine10.sh"
