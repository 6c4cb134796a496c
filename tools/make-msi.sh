#!/usr/bin/env bash
# Makes the Windows Installer package of a 64-bit build from res/Quillmix.wxs with wixl
# (Debian's msitools):
#   make-msi.sh VERSION QUILLMIX_SCR OUTPUT.msi
# tools/package.sh calls it with the project's version. The product code is derived from the
# upgrade code and the version: one version is one product, so a second build of the same
# version cannot be installed beside the first as a second entry (wixl has no
# AllowSameVersionUpgrades); a new version gets a new product code, as a major upgrade needs.
set -euo pipefail
version=${1:?version} scr=${2:?the 64-bit Quillmix.scr} out=${3:?output .msi}
source=$(cd "$(dirname "$0")/.." && pwd)
wxs=$source/res/Quillmix.wxs
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "make-msi: version '$version' is not N.N.N" >&2; exit 2; }
[ -f "$scr" ] || { echo "make-msi: $scr missing" >&2; exit 1; }

upgrade_code=$(sed -n 's/.*<?define UpgradeCode = "\([^"]*\)" ?>.*/\1/p' "$wxs")
[ -n "$upgrade_code" ] || { echo "make-msi: no UpgradeCode in $wxs" >&2; exit 1; }
product_code=$(python3 -c 'import sys, uuid
print("{%s}" % str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Quillmix " + sys.argv[2])).upper())' \
  "$upgrade_code" "$version")

# wixl takes a source path relative to the .wxs (an absolute one is not found).
rel=$(realpath --relative-to="$source/res" "$scr")
rm -f "$out"
wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -D QuillmixScr="$rel" \
  -o "$out" "$wxs"
