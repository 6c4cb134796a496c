#!/usr/bin/env python3
"""Black-box tests of the configuration dialog of the built Quillmix.scr, driven from
outside the way a person would: xdotool clicks and key presses on the real window, the
registry read back with Wine's reg.exe.

  config_e2e.py choose PROBE   tick, clear and set options, press Enter; the registry
                               holds what was chosen
  config_e2e.py cancel PROBE   change everything, press Esc; nothing is stored
  config_e2e.py try PROBE      Preview and Settings start the recording fixture and a
                               library saver under "Program Files" with the right command
                               line; the dialog stays open, disabled until the saver ends
  config_e2e.py owner PROBE    "/c:<handle>" and "-c <handle>" with a handle that names no
                               window, and "/c" alone: the dialog still comes up
  config_e2e.py status PROBE   run mode passes over a crashing and a quitting saver, three
                               runs and two; the dialog then shows their status, with
                               nothing for the good saver, and details under the list
  config_e2e.py away|wow64 PROBE   a drive away and back; the 32-bit build in a WoW64 system32

PROBE is config_probe.exe (control positions and row states of the running dialog).
Environment (set by CTest): QUILLMIX_WINE_SESSION, QUILLMIX_SCR, QUILLMIX_FIXTURES,
QUILLMIX_SOURCE. They use the real HKCU of the session's prefix, so each writes and
removes the key HKCU\\Software\\Brindlecraft\\Quillmix itself.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

KEY = r"HKCU\Software\Brindlecraft\Quillmix"
SESSION = os.environ["QUILLMIX_WINE_SESSION"]
SCR = os.environ["QUILLMIX_SCR"]
FIXTURES = os.environ["QUILLMIX_FIXTURES"]
WINE_RUN = os.path.join(os.environ["QUILLMIX_SOURCE"], "tools", "wine-run.sh")
with open(os.path.join(SESSION, "display")) as f:
    DISPLAY = f.read().strip()

IDC_CYCLE_EVERY = 203
IDC_DELAY = 204
IDC_SHOW_DESKTOP = 205
IDOK = 1
IDC_SETTINGS = 3
IDC_PREVIEW = 4
# A record file line is written by the fixture at its start; waiting for it is polling a
# file, and this many polls mean the run went wrong (never a timing requirement).
MAX_POLLS = 3000
POLL_S = 0.02

failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what)
    if not condition:
        failures.append(what)


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def wine(*args, env=None, check_rc=True):
    result = subprocess.run([WINE_RUN, SESSION, *args], capture_output=True, text=True, env=env)
    if check_rc and result.returncode != 0:
        raise RuntimeError(f"{args}: exit {result.returncode}: {result.stderr}")
    return result.stdout.replace("\r", "")


def probe(probe_exe, *args):
    result = subprocess.run([WINE_RUN, SESSION, probe_exe, *args], capture_output=True, text=True)
    if result.returncode != 0:
        return None
    return result.stdout.replace("\r", "").strip()


def point(probe_exe, *args):
    out = probe(probe_exe, *args)
    if out is None:
        raise RuntimeError(f"probe {args} found nothing")
    x, y = out.split()
    return int(x), int(y)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=DISPLAY))


def click(x, y):
    xdo("mousemove", str(x), str(y))
    xdo("click", "1")


def rows(probe_exe):
    """[(ticked, selected, text)] of the dialog's list, in row order."""
    out = probe(probe_exe, "rows") or ""
    result = []
    for line in out.splitlines():
        ticked, selected, text = line.split(" ", 2)
        result.append((ticked == "1", selected == "1", text))
    return result


def reg_delete():
    wine("reg", "delete", KEY, "/f", check_rc=False)


def reg_query(subkey=""):
    """{name: data} of the key or subkey; None when it does not exist."""
    result = subprocess.run([WINE_RUN, SESSION, "reg", "query", KEY + subkey],
                            capture_output=True, text=True)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.replace("\r", "").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            data = parts[2] if len(parts) == 3 else ""
            values[parts[0]] = int(data, 16) if parts[1] == "REG_DWORD" else data
    return values


class Scenario:
    """A folder of fixture copies as the only searched folder, and a running dialog."""

    def __init__(self, folder_name, fixtures, env=None, args=(), more_folders=()):
        self.dir = tempfile.mkdtemp(prefix="config-e2e-", dir=SESSION)
        self.folder = os.path.join(self.dir, folder_name)
        os.makedirs(self.folder)
        for name in fixtures:
            shutil.copy(os.path.join(FIXTURES, name), self.folder)
        reg_delete()
        for i, folder in enumerate([windows_path(self.folder), *more_folders]):
            wine("reg", "add", KEY + r"\Folders", "/v", f"{i:02}", "/d", folder, "/f")
        env_all = dict(os.environ, **(env or {}))
        self.process = subprocess.Popen([WINE_RUN, SESSION, SCR, *args], env=env_all)

    def path_of(self, name):
        return windows_path(os.path.join(self.folder, name))

    def wait_closed(self):
        try:
            return self.process.wait(timeout=120) == 0
        except subprocess.TimeoutExpired:
            return False

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        reg_delete()
        shutil.rmtree(self.dir, ignore_errors=True)


def test_choose(probe_exe):
    s = Scenario("Savers", ["SampleAurora.scr", "SampleTiles.scr", "SampleBounce.scr",
                            "NoDescription.scr"])
    try:
        check(probe(probe_exe, "wait") is not None, "the dialog appears")
        before = rows(probe_exe)
        check([r[2] for r in before] ==
              ["NoDescription", "Sample Aurora", "Sample Bounce", "Sample Tiles"],
              f"rows sorted by description: {[r[2] for r in before]}")
        check(all(r[0] for r in before), "a new user has every saver ticked")

        # Clear one box; then select two rows (click, Ctrl+click) and clear both with one
        # click on a box of the selection.
        click(*point(probe_exe, "box", "Sample Bounce"))
        click(*point(probe_exe, "label", "Sample Aurora"))
        x, y = point(probe_exe, "label", "NoDescription")
        xdo("mousemove", str(x), str(y))
        xdo("keydown", "ctrl", "click", "1", "keyup", "ctrl")
        click(*point(probe_exe, "box", "Sample Aurora"))
        after = {r[2]: r for r in rows(probe_exe)}
        check(not after["Sample Bounce"][0], "Sample Bounce cleared by its box")
        check(after["Sample Aurora"][1] and after["NoDescription"][1], "two rows selected")
        check(not after["Sample Aurora"][0] and not after["NoDescription"][0],
              "one click on a selected box cleared both selected rows")
        check(after["Sample Tiles"][0], "Sample Tiles still ticked")
        # Tick NoDescription again with the space bar on the focused... row: select it alone.
        click(*point(probe_exe, "label", "NoDescription"))
        xdo("key", "space")
        check({r[2]: r[0] for r in rows(probe_exe)}["NoDescription"], "space ticks the focused row")

        # Cycle every 12 minutes, show the desktop, OK by Enter.
        click(*point(probe_exe, "control", str(IDC_CYCLE_EVERY)))
        xdo("key", "BackSpace", "BackSpace", "BackSpace", "BackSpace")
        xdo("type", "12")
        click(*point(probe_exe, "control", str(IDC_SHOW_DESKTOP)))
        xdo("key", "Return")
        check(s.wait_closed(), "Enter closes the dialog and the process ends")

        values = reg_query()
        check(values is not None and values.get("ShuffleSavers") == 1, f"ShuffleSavers 1: {values}")
        check(values is not None and values.get("ShuffleDelay") == 12, "ShuffleDelay 12")
        check(values is not None and values.get("ShowDesktop") == 1, "ShowDesktop 1")
        check(values is not None and values.get("RecurseSaverFolders") == 0, "RecurseSaverFolders 0")
        savers = reg_query(r"\Savers")
        expected = {"000": s.path_of("NoDescription.scr"), "001": s.path_of("SampleTiles.scr")}
        check(savers == expected, f"Savers holds the ticked rows in list order: {savers}")
        folders = reg_query(r"\Folders")
        check(folders == {"00": windows_path(s.folder)}, f"Folders kept: {folders}")
    finally:
        s.close()


def test_cancel(probe_exe):
    s = Scenario("Savers", ["SampleAurora.scr", "SampleTiles.scr"])
    try:
        check(probe(probe_exe, "wait") is not None, "the dialog appears")
        click(*point(probe_exe, "box", "Sample Tiles"))
        click(*point(probe_exe, "control", str(IDC_CYCLE_EVERY)))
        xdo("type", "3")
        xdo("key", "Escape")
        check(s.wait_closed(), "Esc closes the dialog and the process ends")
        check(reg_query() == {}, f"nothing stored beside the folders: {reg_query()}")
        check(reg_query(r"\Savers") is None, "no Savers subkey")
    finally:
        s.close()


def wait_for_line(path, prefix):
    for _ in range(MAX_POLLS):
        if os.path.exists(path):
            with open(path, "rb") as f:
                for line in f.read().decode("latin-1").splitlines():
                    if line.startswith(prefix):
                        return line
        time.sleep(POLL_S)
    return None


def until(condition):
    return any(condition() for _ in range(MAX_POLLS // 10))


def short_form_of(line, name, switches):
    """Whether a recorded command line starts NAME by a path without blanks."""
    path, _, rest = line[len("cmdline: "):].partition(" ")
    return path.lower().endswith("\\" + name.lower()) and rest == switches


def test_try(probe_exe):
    record = os.path.join(SESSION, f"config-e2e-record-{os.getpid()}.txt")
    if os.path.exists(record):
        os.remove(record)
    fun_savers = os.path.join(SESSION, "prefix", "drive_c", "Program Files", "Fun Savers")
    os.makedirs(fun_savers, exist_ok=True)
    shutil.copy(os.path.join(FIXTURES, "LibraryAurora.scr"),
                os.path.join(fun_savers, "Space Probe.scr"))
    s = Scenario("Try Savers", ["Recorder.scr", "SampleAurora.scr", "IgnoreInput.scr"],
                 env={"QUILLMIX_RECORD_FILE": windows_path(record)},
                 more_folders=[r"C:\Program Files\Fun Savers"])
    try:
        hwnd = probe(probe_exe, "wait")
        check(hwnd is not None, "the dialog appears")
        click(*point(probe_exe, "label", "Fixture Recorder"))
        preview = point(probe_exe, "control", str(IDC_PREVIEW))
        settings = point(probe_exe, "control", str(IDC_SETTINGS))

        click(*preview)
        line = wait_for_line(record, "cmdline: ")
        check(short_form_of(line, "Recorder.scr", "/s"), f"Preview started: {line!r}")
        check(wait_for_line(record, "ready") is not None, "the saver runs full screen")
        check(probe(probe_exe, "wait") == hwnd, "the dialog is still open")
        # The probe's list-view messages are answered only by a dialog that keeps
        # dispatching its messages during the wait.
        check(len(rows(probe_exe)) == 4, "the dialog answers during the wait")
        xdo("mousemove_relative", "--", "60", "60")
        check(wait_for_line(record, "end") is not None, "a mouse move ends the saver")
        os.remove(record)

        # The library saver under "Program Files" (whose parser an unquoted path would
        # send to its settings): Preview runs it full screen while the dialog waits
        # disabled, and Settings shows its settings box.
        click(*point(probe_exe, "label", "Library Aurora"))
        click(*preview)
        check(probe(probe_exe, "window", "QuillmixFixtureSaver") is not None
              and probe(probe_exe, "enabled") == "0", "Preview runs it, the dialog disabled")
        xdo("key", "space")
        check(until(lambda: probe(probe_exe, "enabled") == "1"), "and enabled after its end")
        click(*settings)
        check(until(lambda: probe(probe_exe, "owned") == "Library Aurora"), "its settings")
        xdo("key", "Return")
        until(lambda: probe(probe_exe, "enabled") == "1")

        # Past a settings box that ignores its owner, a click on OK does nothing.
        click(*point(probe_exe, "label", "Fixture Ignore Input"))
        click(*settings)
        xdo("search", "--sync", "--onlyvisible", "--name", "^Fixture Ignore Input$")
        click(*point(probe_exe, "control", str(IDOK)))
        check(probe(probe_exe, "wait") == hwnd and reg_query(r"\Savers") is None,
              "a click on OK while the tried saver runs does nothing")
        xdo("key", "Return")  # the saver's box kept the focus
        check(until(lambda: probe(probe_exe, "enabled") == "1"), "its box is closed")

        click(*point(probe_exe, "label", "Fixture Recorder"))
        click(*settings)
        line = wait_for_line(record, "cmdline: ")
        check(short_form_of(line, "Recorder.scr", f"/c {hwnd}"), f"Settings started: {line!r}")
        title = None
        for _ in range(MAX_POLLS // 10):
            title = probe(probe_exe, "owned")
            if title:
                break
        check(title == "Fixture Recorder", f"its settings box is owned by the dialog: {title!r}")
        check(probe(probe_exe, "wait") == hwnd, "the dialog is still open")
        xdo("key", "Return")  # closes the saver's box, which has the focus
        for _ in range(MAX_POLLS // 10):
            if not probe(probe_exe, "owned"):
                break
        check(not probe(probe_exe, "owned"), "the box is closed")
        # The dialog takes input again: Esc cancels it.
        until(lambda: probe(probe_exe, "enabled") == "1")
        xdo("key", "Escape")
        check(s.wait_closed(), "Esc closes the dialog")
        check(reg_query(r"\Savers") is None, "trying stored nothing")
    finally:
        s.close()
        shutil.rmtree(fun_savers, ignore_errors=True)
        if os.path.exists(record):
            os.remove(record)


def failed_in_row(name_path):
    """How many failed runs in a row run mode has on record for the saver (0: none)."""
    data = (reg_query(r"\SaverHealth") or {}).get(name_path)
    if not data:
        return 0
    return int.from_bytes(bytes.fromhex(data)[8:12], "little")


def test_status(probe_exe):
    folder = tempfile.mkdtemp(prefix="config-e2e-status-", dir=SESSION)
    for name in ("Crash.scr", "ExitAtOnce.scr", "Recorder.scr"):
        shutil.copy(os.path.join(FIXTURES, name), folder)
    crash, quit_ = (windows_path(os.path.join(folder, n)) for n in ("Crash.scr", "ExitAtOnce.scr"))
    reg_delete()
    process = None
    try:
        wine("reg", "add", KEY + r"\Folders", "/v", "00", "/d", windows_path(folder), "/f")
        for run, savers in enumerate(([crash, quit_], [crash, quit_], [crash]), 1):
            wine("reg", "delete", KEY + r"\Savers", "/f", check_rc=False)
            for i, saver in enumerate(savers):
                wine("reg", "add", KEY + r"\Savers", "/v", f"{i:03}", "/d", saver, "/f")
            process = subprocess.Popen([WINE_RUN, SESSION, SCR, "/s"])
            for _ in range(MAX_POLLS // 10):
                if all(failed_in_row(s) >= min(run, 2 if s == quit_ else 3) for s in savers):
                    break
                time.sleep(POLL_S * 10)
            check(failed_in_row(crash) == run, f"run {run}: the crash is on record")
            # Both passed over, the black cover waits for the user.
            end_run(process, f"run {run} ends on the user's move")
            process = None
        wine("reg", "delete", KEY + r"\Savers", "/f", check_rc=False)
        process = subprocess.Popen([WINE_RUN, SESSION, SCR])
        check(probe(probe_exe, "wait") is not None, "the dialog appears")
        statuses = {text: probe(probe_exe, "status", text)
                    for text in ("Fixture Crash", "Fixture Exit At Once", "Fixture Recorder")}
        check(statuses == {"Fixture Crash": "Left out: crashed 3 times in a row",
                           "Fixture Exit At Once": "Quit at once (2 times)",
                           "Fixture Recorder": ""}, f"the status column: {statuses}")
        click(*point(probe_exe, "label", "Fixture Crash"))
        details = probe(probe_exe, "details") or ""
        check("0xC0000005" in details and "left out" in details, f"the details: {details!r}")
        click(*point(probe_exe, "label", "Fixture Recorder"))
        check(probe(probe_exe, "details") == "", "nothing to tell of the good saver")
        xdo("key", "Escape")
        check(process.wait(timeout=120) == 0, "Esc closes the dialog")
        process = None
    finally:
        if process is not None and process.poll() is None:
            process.kill()
            process.wait()
        reg_delete()
        shutil.rmtree(folder, ignore_errors=True)


def end_run(process, what):
    """Moves the pointer until run mode has ended: a move before its cover waits is not seen."""
    for i in range(MAX_POLLS // 10):
        xdo("mousemove_relative", "--", str(60 - 120 * (i % 2)), "60")
        try:
            return check(process.wait(timeout=0.5) == 0, what)
        except subprocess.TimeoutExpired:
            pass
    check(False, what)


def in_dialog(scr, probe_exe, step=lambda: None, key="Return"):
    """Opens the dialog, runs step() in it, closes it with the key; {row text: ticked}."""
    process = subprocess.Popen([WINE_RUN, SESSION, scr])
    check(probe(probe_exe, "wait") is not None, "the dialog appears")
    listed = {r[2]: r[0] for r in rows(probe_exe)}
    step()
    xdo("key", key)
    check(process.wait(timeout=120) == 0, f"{key} closes the dialog")
    return listed


def run_until(scr, record, prefix):
    """Run mode until the recording fixture's record has the line; the user's move ends it."""
    process = subprocess.Popen([WINE_RUN, SESSION, scr, "/s"],
                               env=dict(os.environ, QUILLMIX_RECORD_FILE=windows_path(record)))
    line = wait_for_line(record, prefix)
    end_run(process, "the run ends on the user's move")
    return line


def set_savers(*savers):
    wine("reg", "delete", KEY + r"\Savers", "/f", check_rc=False)
    for i, saver in enumerate(savers):
        wine("reg", "add", KEY + r"\Savers", "/v", f"{i:03}", "/d", saver, "/f")


def test_away(probe_exe):
    """Drive Q: of the prefix (a dosdevices link to a folder) away and back."""
    base = tempfile.mkdtemp(prefix="config-e2e-away-", dir=SESSION)
    local, drive = os.path.join(base, "Local"), os.path.join(base, "Drive")
    for folder, name in ((local, "SampleAurora.scr"), (drive, "Recorder.scr")):
        os.makedirs(folder)
        shutil.copy(os.path.join(FIXTURES, name), folder)
    link, record = os.path.join(SESSION, "prefix", "dosdevices", "q:"), os.path.join(base, "rec")
    far, near = "Q:\\Recorder.scr", windows_path(os.path.join(local, "SampleAurora.scr"))
    folders = {"00": windows_path(local), "01": "Q:\\"}
    reg_delete()
    try:
        for name, data in folders.items():
            wine("reg", "add", KEY + r"\Folders", "/v", name, "/d", data, "/f")
        set_savers(near, far)
        listed = in_dialog(SCR, probe_exe, lambda: (
            check(probe(probe_exe, "status", "Recorder.scr") == "Not found", "its status"),
            click(*point(probe_exe, "label", "Recorder.scr")),
            check(far in (probe(probe_exe, "details") or ""), "the details name its path")))
        check(listed == {"Sample Aurora": True, "Recorder.scr": True}, f"rows away: {listed}")
        stored = [reg_query(r"\Folders"), sorted((reg_query(r"\Savers") or {}).values())]
        check(stored == [folders, sorted([near, far])], f"OK keeps both: {stored}")

        # Back: listed by its description, ticked, and run.
        os.symlink(drive, link)
        listed = in_dialog(SCR, probe_exe, key="Escape")
        check(listed == {"Sample Aurora": True, "Fixture Recorder": True}, f"rows back: {listed}")
        set_savers(far)
        check(run_until(SCR, record, "ready") is not None, "it runs from Q:")

        # Away again: clearing its box and OK removes it; the folder stays.
        os.remove(link)
        in_dialog(SCR, probe_exe, lambda: click(*point(probe_exe, "box", "Recorder.scr")))
        check([reg_query(r"\Savers"), reg_query(r"\Folders")] == [None, folders],
              "clearing its box removed the saver; its folder stays")
    finally:
        if os.path.islink(link):
            os.remove(link)
        reg_delete()
        shutil.rmtree(base, ignore_errors=True)


def test_wow64(probe_exe):
    """The 32-bit build in a WoW64 prefix's 64-bit system32 lists, keeps and runs its saver."""
    fixtures64 = os.path.join(os.path.dirname(os.environ["QUILLMIX_SCR_X64"]), "tests", "fixtures")
    if not os.path.exists(os.path.join(fixtures64, "Recorder.scr")):
        print(f"skipped: the 64-bit build's fixtures are not built ({fixtures64})")
        sys.exit(1 if os.environ.get("QUILLMIX_REQUIRE_BOTH") else 77)
    system32 = os.path.join(SESSION, "prefix", "drive_c", "windows", "system32")
    copies = [os.path.join(system32, n) for n in ("Quillmix32.scr", "QmxRecorder64.scr")]
    shutil.copy(SCR, copies[0])
    shutil.copy(os.path.join(fixtures64, "Recorder.scr"), copies[1])
    record, scr = os.path.join(SESSION, "wow64-record"), r"C:\windows\system32\Quillmix32.scr"
    # As the 64-bit build stores it: both builds share one selection.
    saver = wine("cmd", "/c", "echo %windir%").strip().lower() + r"\system32\QmxRecorder64.scr"
    try:
        set_savers(saver)
        listed = in_dialog(scr, probe_exe)
        check(listed == {"Fixture Recorder": True}, f"listed and ticked: {listed}")
        check(reg_query(r"\Savers") == {"000": saver}, "OK keeps it")
        line = (run_until(scr, record, "cmdline: ") or "").lower()
        check(saver.lower() in line and "sysnative" not in line, f"run mode starts it by its stored path: {line}")
    finally:
        reg_delete()
        for path in copies + [record]:
            if os.path.exists(path):
                os.remove(path)


def test_owner(probe_exe):
    for args in (["/c:12345"], ["-C", "7340032"], ["/c"]):
        s = Scenario("Savers", ["SampleAurora.scr"], args=args)
        try:
            check(probe(probe_exe, "wait") is not None, f"the dialog appears for {' '.join(args)}")
            check([r[2] for r in rows(probe_exe)] == ["Sample Aurora"], "with its saver listed")
            xdo("key", "Escape")
            check(s.wait_closed(), "Esc closes it")
        finally:
            s.close()


def main():
    tests = {"choose": test_choose, "cancel": test_cancel, "try": test_try, "owner": test_owner,
             "status": test_status, "away": test_away,
             "wow64": test_wow64}
    if len(sys.argv) != 3 or sys.argv[1] not in tests:
        print(__doc__)
        return 2
    tests[sys.argv[1]](sys.argv[2])
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
