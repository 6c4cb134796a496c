#!/usr/bin/env bash
# Makes the release files from both builds:
#   tools/package.sh [--no-build] [--dist DIR]
# dist/Quillmix-<version>.zip holds Quillmix-<version>/ with Quillmix32.scr and Quillmix64.scr
# (the x86 and x64 builds), INSTALL.txt, LICENSE.txt and SHA256SUMS.txt.
# dist/Quillmix-<version>.msi installs the x64 build on 64-bit Windows (tools/make-msi.sh).
# dist/SHA256SUMS.txt holds the sums of both. The version is the project's (CMakeLists.txt),
# the one the builds carry in their VERSIONINFO.
set -euo pipefail
cd "$(dirname "$0")/.."
build=1
dist=$PWD/dist
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0 ;;
    --dist) dist=${2:?--dist needs a directory}; shift ;;
    *) echo "usage: $0 [--no-build] [--dist DIR]" >&2; exit 2 ;;
  esac
  shift
done
[ $build -eq 0 ] || tools/build.sh >/dev/null

version=$(sed -n 's/^project(Quillmix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
for arch in x86 x64; do
  [ -f "build/$arch/Quillmix.scr" ] || { echo "package: build/$arch/Quillmix.scr missing" >&2; exit 1; }
done

name=Quillmix-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp build/x86/Quillmix.scr "$stage/$name/Quillmix32.scr"
cp build/x64/Quillmix.scr "$stage/$name/Quillmix64.scr"
# Text files with Windows line ends, for Notepad.
sed "s/@VERSION@/$version/g; s/\$/\r/" docs/INSTALL.txt >"$stage/$name/INSTALL.txt"
sed 's/$/\r/' LICENSE >"$stage/$name/LICENSE.txt"
(cd "$stage/$name" && sha256sum Quillmix32.scr Quillmix64.scr INSTALL.txt LICENSE.txt) >"$stage/$name/SHA256SUMS.txt"

mkdir -p "$dist"
rm -f "$dist/$name.zip"
# Every entry dated by the last commit, so the same sources give the same archive.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
python3 - "$stage" "$name" "$dist/$name.zip" "$stamp" <<'PY'
import os, sys, time, zipfile
stage, name, target, stamp = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
date = time.gmtime(stamp)[:6]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for entry in sorted(os.listdir(os.path.join(stage, name))):
        info = zipfile.ZipInfo(f"{name}/{entry}", date_time=date)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        with open(os.path.join(stage, name, entry), "rb") as f:
            archive.writestr(info, f.read())
PY
tools/make-msi.sh "$version" build/x64/Quillmix.scr "$dist/$name.msi"
(cd "$dist" && sha256sum "$name.zip" "$name.msi") >"$dist/SHA256SUMS.txt"
echo "package: $dist/$name.zip $dist/$name.msi"
