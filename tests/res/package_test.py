#!/usr/bin/env python3
"""The release archive against the builds it was made from.
   package_test.py SOURCE_DIR X64_SCR X86_SCR WORK_DIR"""
import hashlib
import os
import re
import subprocess
import sys
import zipfile

source, x64, x86, work = sys.argv[1:5]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def resource_version(image):
    """The FileVersion text of the image's VERSIONINFO (a UTF-16 string after its key)."""
    key = "FileVersion\0".encode("utf-16-le")
    at = image.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
    end = image.find(b"\0\0", at)
    while end >= 0 and (end - at) % 2:
        end = image.find(b"\0\0", end + 1)
    return image[at:end].decode("utf-16-le")


os.makedirs(work, exist_ok=True)
for old in os.listdir(work):
    os.remove(os.path.join(work, old))
subprocess.run([os.path.join(source, "tools", "package.sh"), "--no-build", "--dist", work],
               check=True)
builds = {"Quillmix64.scr": open(x64, "rb").read(), "Quillmix32.scr": open(x86, "rb").read()}
versions = {resource_version(image) for image in builds.values()}
check(len(versions) == 1 and None not in versions, f"the builds' versions: {versions}")
version = versions.pop()
archives = [name for name in os.listdir(work) if name.endswith(".zip")]
check(archives == [f"Quillmix-{version}.zip"], f"archive named for {version}: {archives}")

with zipfile.ZipFile(os.path.join(work, f"Quillmix-{version}.zip")) as archive:
    check(archive.testzip() is None, "every entry reads back intact")
    top = f"Quillmix-{version}/"
    files = {info.filename[len(top):]: archive.read(info) for info in archive.infolist()}
    check(all(info.filename.startswith(top) for info in archive.infolist()), "one top folder")
    check(sorted(files) == sorted(["Quillmix32.scr", "Quillmix64.scr", "INSTALL.txt",
                                   "LICENSE.txt", "SHA256SUMS.txt"]), f"entries: {sorted(files)}")
    for name, image in builds.items():
        check(files.get(name) == image, f"{name} is the build itself")
    license_text = files.get("LICENSE.txt", b"").decode()
    check("MIT License" in license_text and "The Quillmix authors" in license_text, "MIT licence")
    install = files.get("INSTALL.txt", b"").decode()
    check(version in install and "Removing" in install and "\r\n" in install,
          "install text with the version, removal, Windows line ends")
    sums = {}
    for line in files.get("SHA256SUMS.txt", b"").decode().splitlines():
        match = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
        check(match is not None, f"sum line {line!r}")
        if match:
            sums[match.group(2)] = match.group(1)
    check(sorted(sums) == sorted(set(files) - {"SHA256SUMS.txt"}), f"sums for {sorted(sums)}")
    for name, digest in sums.items():
        check(hashlib.sha256(files.get(name, b"")).hexdigest() == digest, f"sum of {name}")

for failure in failures:
    print("package_test: FAILED:", failure, file=sys.stderr)
print(f"package_test: Quillmix-{version}.zip, {'ok' if not failures else 'FAILED'}")
sys.exit(1 if failures else 0)
