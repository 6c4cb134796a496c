#!/usr/bin/env python3
"""The release archive and the Windows Installer package against the builds they were made
from; the package's tables read back with msitools.
   package_test.py SOURCE_DIR X64_SCR X86_SCR WORK_DIR"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

# A newer package finds the installed one by it: it must never change.
UPGRADE_CODE = "{0ECB6AF0-F9A1-43C5-BA27-24CE8DB086B1}"
# msidbComponentAttributes64bit: the component's files and registry go to the 64-bit places.
COMPONENT_64BIT = 256

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


def msi_table(package, table):
    """The rows of a table of the package as dicts, from msiinfo's export (tab-separated,
    a header of column names, then column types and the key before the rows)."""
    out = subprocess.run(["msiinfo", "export", package, table], check=True, capture_output=True,
                         text=True).stdout.splitlines()
    columns = out[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in out[3:]]


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
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

package = os.path.join(work, f"Quillmix-{version}.msi")
check(os.path.exists(package), f"Quillmix-{version}.msi beside the archive")
if os.path.exists(package):
    properties = {row["Property"]: row["Value"] for row in msi_table(package, "Property")}
    check((properties.get("ProductName"), properties.get("ProductVersion"),
           properties.get("Manufacturer"), properties.get("UpgradeCode"), properties.get("ALLUSERS"))
          == ("Quillmix (Random)", version, "The Quillmix authors", UPGRADE_CODE, "1"),
          f"name, version, publisher, upgrade code, per machine: {properties}")
    summary = subprocess.run(["msiinfo", "suminfo", package], check=True, capture_output=True,
                             text=True).stdout
    check("Template: x64;1033" in summary, "a package for 64-bit Windows")
    components = msi_table(package, "Component")
    check(components and all(row["Directory_"] == "System64Folder" and
                             int(row["Attributes"]) & COMPONENT_64BIT for row in components),
          f"every component 64-bit, in the 64-bit system folder: {components}")
    files = msi_table(package, "File")
    check([row["FileName"] for row in files] == ["Quillmix.scr"], f"one file Quillmix.scr: {files}")
    extracted = os.path.join(work, "extracted")
    subprocess.run(["msiextract", "-C", extracted, package], check=True, capture_output=True)
    payload = [os.path.join(d, n) for d, _, names in os.walk(extracted) for n in names]
    check(len(payload) == 1 and open(payload[0], "rb").read() == builds["Quillmix64.scr"],
          "the file is the 64-bit build itself")
    upgrades = [row for row in msi_table(package, "Upgrade") if row["ActionProperty"] ==
                "WIX_UPGRADE_DETECTED"]
    check([(row["UpgradeCode"], row["VersionMax"]) for row in upgrades] == [(UPGRADE_CODE, version)],
          f"older versions of the same upgrade code are replaced: {upgrades}")

release_sums = {}
for line in open(os.path.join(work, "SHA256SUMS.txt")).read().splitlines():
    digest, name = line.split("  ", 1)
    release_sums[name] = digest
check(sorted(release_sums) == sorted([f"Quillmix-{version}.zip", f"Quillmix-{version}.msi"]),
      f"SHA256SUMS.txt beside them covers both: {sorted(release_sums)}")
for name, digest in release_sums.items():
    path = os.path.join(work, name)
    check(os.path.exists(path) and hashlib.sha256(open(path, "rb").read()).hexdigest() == digest,
          f"sum of {name}")

for failure in failures:
    print("package_test: FAILED:", failure, file=sys.stderr)
print(f"package_test: Quillmix-{version}.zip and .msi, {'ok' if not failures else 'FAILED'}")
sys.exit(1 if failures else 0)
