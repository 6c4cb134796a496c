#!/usr/bin/env python3
"""The Windows Installer package through its life under Wine's own msiexec, in a Wine session
of its own (a fresh prefix, its own Xvfb): a damaged copy refused, a silent install, Quillmix
run from where it went, a higher version over it, a silent removal.
   msi_install_test.py SOURCE_DIR X64_SCR FIXTURES_DIR WORK_DIR"""
import os
import shutil
import subprocess
import sys
import time

source, x64, fixtures, work = sys.argv[1:5]
SESSION = os.path.join(work, "session")
WINE_RUN = os.path.join(source, "tools", "wine-run.sh")
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
SETTINGS = r"HKCU\Software\Brindlecraft\Quillmix"
INSTALLED = r"C:\windows\system32\Quillmix.scr"
NAME, PUBLISHER = "Quillmix (Random)", "The Quillmix authors"
POLLS, POLL_S = 600, 0.1  # a hang guard only
failures = []


def check(ok, what):
    print(("ok:   " if ok else "FAIL: ") + what)
    if not ok:
        failures.append(what)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, env=None):
    result = subprocess.run([WINE_RUN, SESSION, *args], capture_output=True, text=True,
                            env=dict(os.environ, **(env or {})))
    return result.returncode, result.stdout.replace("\r", "")


def msiexec(*args):
    """msiexec's whole exit code: Wine hands Linux only its low byte (1603 comes out as 67)."""
    _, out = wine("cmd", "/v:on", "/c", "msiexec " + " ".join(args) + " & echo code !ERRORLEVEL!")
    return int(out.rsplit("code ", 1)[1].split()[0])


def reg_values(key, *flags):
    """{subkey: {name: data}} of the key and, with /s, its subkeys."""
    keys, current = {}, None
    for line in wine("reg", "query", key, *flags)[1].splitlines():
        if line.startswith("HKEY_"):
            current = keys.setdefault(line, {})
        elif current is not None and len(line.split(None, 2)) >= 2:
            parts = line.split(None, 2)
            current[parts[0]] = parts[2] if len(parts) == 3 else ""
    return keys


def entries():
    """The uninstall entries of Quillmix: (name, version, publisher, uninstall command)."""
    return [(v["DisplayName"], v.get("DisplayVersion"), v.get("Publisher"), v.get("UninstallString"))
            for v in reg_values(UNINSTALL, "/s").values() if v.get("DisplayName") == NAME]


def system_file(folder):
    path = os.path.join(SESSION, "prefix", "drive_c", "windows", folder, "Quillmix.scr")
    return open(path, "rb").read() if os.path.exists(path) else None


def xdo(*args):
    display = open(os.path.join(SESSION, "display")).read().strip()
    return subprocess.run(["xdotool", *args], capture_output=True, text=True,
                          env=dict(os.environ, DISPLAY=display))


def until(condition):
    for _ in range(POLLS):
        if condition():
            return True
        time.sleep(POLL_S)
    return False


def run_installed(mode, env, started, end_keys):
    """Starts the installed Quillmix.scr, waits until started(), then presses end_keys
    until it ends; its exit code, or None when it never started or never ended."""
    process = subprocess.Popen([WINE_RUN, SESSION, INSTALLED, mode],
                               env=dict(os.environ, **env))
    try:
        if not until(started):
            return None
        for _ in range(POLLS // 10):
            xdo("key", end_keys)
            try:
                return process.wait(timeout=1)
            except subprocess.TimeoutExpired:
                pass
        return None
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def uses_installed_quillmix():
    saver_dir = os.path.join(SESSION, "savers")
    os.makedirs(saver_dir)
    shutil.copy(os.path.join(fixtures, "Recorder.scr"), saver_dir)
    wine("reg", "add", SETTINGS + r"\Folders", "/v", "00", "/d", windows_path(saver_dir), "/f")
    wine("reg", "add", SETTINGS + r"\Savers", "/v", "000", "/d",
         windows_path(os.path.join(saver_dir, "Recorder.scr")), "/f")
    dialog = lambda: xdo("search", "--name", "^Quillmix Configuration$").stdout.strip() != ""
    check(run_installed("/c", {}, dialog, "Escape") == 0, "/c shows the dialog; Escape ends it, code 0")
    record = os.path.join(SESSION, "record.txt")
    recorded = lambda: os.path.exists(record) and "ready" in open(record).read().splitlines()
    code = run_installed("/s", {"QUILLMIX_RECORD_FILE": windows_path(record)}, recorded, "space")
    check(code == 0, "/s runs the selected saver and ends on a key, code 0")
    lines = open(record).read().splitlines() if os.path.exists(record) else []
    check(any(line.startswith("cmdline: ") and line.endswith("Recorder.scr /s") for line in lines),
          f"the saver was started by run mode: {lines[:1]}")


subprocess.run([os.path.join(source, "tools", "wine-session.sh"), "start", SESSION], check=True)
try:
    dist = os.path.join(work, "dist")
    shutil.rmtree(dist, ignore_errors=True)
    subprocess.run([os.path.join(source, "tools", "package.sh"), "--no-build", "--dist", dist],
                   check=True)
    first = next(os.path.join(dist, n) for n in os.listdir(dist) if n.endswith(".msi"))
    version = os.path.basename(first)[len("Quillmix-"):-len(".msi")]
    # The next version: another file of the same build, so that its bytes show it was installed.
    major, minor, patch = version.split(".")
    higher = f"{major}.{minor}.{int(patch) + 1}"
    next_scr = os.path.join(work, "next", "Quillmix.scr")
    os.makedirs(os.path.dirname(next_scr), exist_ok=True)
    next_bytes = open(x64, "rb").read() + b"\0" * 16
    open(next_scr, "wb").write(next_bytes)
    second = os.path.join(work, "next", f"Quillmix-{higher}.msi")
    subprocess.run([os.path.join(source, "tools", "make-msi.sh"), higher, next_scr, second], check=True)

    damaged = os.path.join(work, "damaged.msi")
    data = open(first, "rb").read()
    open(damaged, "wb").write(data[: len(data) // 2])
    code = msiexec("/i", windows_path(damaged), "/qn")
    check(code != 0, f"a truncated package is refused: {code}")
    check(system_file("system32") is None and entries() == [], "and installs nothing")

    check(msiexec("/i", windows_path(first), "/qn") == 0, f"/i {os.path.basename(first)} /qn: 0")
    check(system_file("system32") == open(x64, "rb").read(), "the 64-bit build in system32")
    check(system_file("syswow64") is None, "nothing in syswow64")
    found = entries()
    check([entry[:3] for entry in found] == [(NAME, version, PUBLISHER)],
          f"one entry, {version}, {PUBLISHER}: {found}")

    uses_installed_quillmix()
    settings = reg_values(SETTINGS, "/s")
    check(any("LastStarted" in values for values in settings.values()), "the run stored LastStarted")

    check(msiexec("/i", windows_path(second), "/qn") == 0, f"/i Quillmix-{higher}.msi /qn: 0")
    found = entries()
    check([entry[:3] for entry in found] == [(NAME, higher, PUBLISHER)], f"one entry, of {higher}: {found}")
    check(system_file("system32") == next_bytes, "the new version's file replaced the first")

    uninstall = (found[0][3] or "") if found else ""
    check(uninstall.lower().startswith("msiexec.exe /x{"), f"the entry's uninstall: {uninstall}")
    check(msiexec(uninstall.split(" ", 1)[-1], "/qn") == 0, "its /x ... /qn: 0")
    check(system_file("system32") is None and system_file("syswow64") is None, "the file is gone")
    check(entries() == [], "the entry is gone")
    cache = os.path.join(SESSION, "prefix", "drive_c", "windows", "Installer")
    left = [n for n in os.listdir(cache) if n.endswith(".msi")] if os.path.isdir(cache) else []
    check(left == [], f"no cached package left: {left}")
    check(reg_values(SETTINGS, "/s") == settings, "the user's settings stay as they were")
finally:
    subprocess.run([os.path.join(source, "tools", "wine-session.sh"), "stop", SESSION])

print(f"msi_install_test: {'ok' if not failures else 'FAILED: ' + '; '.join(failures)}")
sys.exit(1 if failures else 0)
