#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need, from Debian's packages.
# Safe to run again: packages that are already there are left alone.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  mingw-w64-tools
  googletest
  wine wine64
  # Marlett and the Tahoma look-alike: caption buttons and dialog text as on Windows.
  fonts-wine
  xvfb xdotool imagemagick x11-utils
  clang-format clang-tidy
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
