"""Runs the real QuorvelDownloader.exe under Wine and drives it like a user.

The program, the UI driver (QvDriver.exe), the stand-in scanner and the demo setup program come from
the Windows build under test (QV_WINDOWS_BUILD: win32, or win64 where the host cannot run 32-bit
programs; scripts/windows_build.sh chooses); the Wine prefix is the project's own (WINEPREFIX, made by scripts/wineprefix.sh).
Every wait has a timeout.
"""
import atexit
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.environ.get("QV_ROOT") or os.path.dirname(os.path.dirname(HERE))
BUILD = os.environ.get("QV_BUILD") or os.path.join(ROOT, "build")
# The preset of the Windows build under test, and its folder.
PRESET = os.environ.get("QV_WINDOWS_BUILD") or "win32"
BIN = os.environ.get("QV_BIN") or os.path.join(BUILD, PRESET)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))

from ftp_fixture import FtpFixture  # noqa: E402
from signing import signed_demo_setup  # noqa: E402

MAIN_TITLE = "탈빅스 다운로더"
WORK_FOLDER = r"c:\Windows\Temp\QVUpdate"
SETUP_RECORD = r"c:\Windows\Temp\qv-setup-launched.txt"
# The diagnostics log's folder under the Wine user's local application data.
LOG_FOLDER = r"c:\users\%s\AppData\Local\QuorvelDownloader" % os.environ.get("USER", "root")
# Where the bytes of a download the statement names outlive the program.
KEPT_FOLDER = LOG_FOLDER + r"\Kept"


def header_numbers(relative_path):
    """The whole-number constants of a C++ header (#define NAME 12, const int kName = 12;): name -> value."""
    numbers = {}
    with open(os.path.join(ROOT, relative_path), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\s*(?:#define\s+(\w+)|(?:constexpr|const)\s+int\s+(\w+)\s*=)\s*(\d+)\b", line)
            if m:
                numbers[m.group(1) or m.group(2)] = int(m.group(3))
    return numbers


# Control ids of the main window and of the message box, as the program is built with them.
_IDS = header_numbers("resources/resource.h")
ID_CHECK_SERVER, ID_START, ID_EXIT = _IDS["IDC_CHECK_SERVER"], _IDS["IDC_START_INSTALLATION"], _IDS["IDC_EXIT"]
ID_BANNER, ID_LIST, ID_HEADER = _IDS["IDC_BANNER"], _IDS["IDC_LIST_ITEMS"], _IDS["IDC_LIST_HEADER"]
ID_WARNING_1, ID_WARNING_2 = _IDS["IDC_WARNING_ENGLISH"], _IDS["IDC_WARNING_KOREAN"]
ID_OK = header_numbers("controls/logic/MsgBoxLayout.h")["kIdFirst"]
VK_TAB, VK_RETURN, VK_ESCAPE, VK_SPACE = 0x09, 0x0D, 0x1B, 0x20
# The last field of an item-list row in its window text: the row's check state.
CHECK_STATES = ("checked", "not checked")


# Wine has no Arial. English runs get its metric twin with Hangul added (the title), as Windows links
# a Korean font into Arial, so captions wrap as on Windows; Korean runs get a font with Hangul. Wine
# reads the replacement when a program starts, so one prefix serves both languages run after run.
ENGLISH_ARIAL, KOREAN_ARIAL = "Liberation Sans Hangul", "NanumGothic"
_arial_in_prefix = {}  # prefix -> the replacement this process has set there


def _restore_english_arial():
    """Leaves every prefix as scripts/wineprefix.sh made it, for the Windows-side tests."""
    for prefix, face in list(_arial_in_prefix.items()):
        if face != ENGLISH_ARIAL:
            Wine(prefix).use_arial_replacement()


atexit.register(_restore_english_arial)


def runs_alone(test):
    """Marks a test method or class whose assertion is about time (how soon something ends): run.py
    runs it while no other case runs, so a neighbour's load cannot decide its verdict."""
    test.runs_alone = True
    return test


class Wine:
    """One Wine prefix; every program of a test runs in it."""

    def __init__(self, prefix=None, lang="en_US.UTF-8"):
        self.prefix = prefix or os.environ.get("WINEPREFIX") or os.path.join(BUILD, "wine64")
        self.lang = lang
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", LANG=lang, LC_ALL=lang,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.use_arial_replacement()

    def use_arial_replacement(self):
        """Sets the prefix's replacement for Arial to the one of this language, unless it is set."""
        face = KOREAN_ARIAL if self.lang.lower().startswith("ko") else ENGLISH_ARIAL
        if _arial_in_prefix.get(self.prefix) == face:
            return
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Arial",
                        "/d", face, "/f"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=True)
        _arial_in_prefix[self.prefix] = face

    def unix(self, win_path):
        """The Unix path of a C: path inside the prefix."""
        p = win_path.replace("\\", "/")
        assert p[1:3].lower() == ":/", win_path
        rest = p[3:]
        # Wine folders are lower case where the prefix made them so; match case-insensitively.
        cur = os.path.join(self.prefix, "drive_c")
        for part in [x for x in rest.split("/") if x]:
            match = None
            if os.path.isdir(cur):
                for name in os.listdir(cur):
                    if name.lower() == part.lower():
                        match = name
                        break
            cur = os.path.join(cur, match or part)
        return cur

    def run(self, args, timeout=60):
        """Runs a Windows program to its end; returns (exit code, stdout bytes).

        Output goes through a file, not a pipe: a wineserver started by this run would inherit a
        pipe and keep it open long after the program has ended."""
        self.use_arial_replacement()
        with tempfile.TemporaryFile() as out:
            r = subprocess.run(["wine"] + list(args), env=self.env, stdout=out, stderr=subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return r.returncode, out.read()

    def set_dpi(self, dpi):
        """Sets the prefix's DPI (Wine has one for every monitor) and ends the Wine session, which
        reads it at its start."""
        for key in (r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts",
                    r"HKCU\Control Panel\Desktop"):
            subprocess.run(["wine", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                           env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=True)
        self.kill_server()

    def kill_server(self):
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)


class Driver:
    """QvDriver.exe commands against the program's windows."""

    def __init__(self, wine):
        self.wine = wine
        self.exe = os.path.join(BIN, "QvDriver.exe")

    def __call__(self, *args, timeout=90):
        rc, out = self.wine.run([self.exe] + [str(a) for a in args], timeout=timeout)
        return rc, out.decode("utf-8", "replace").replace("\r\n", "\n").rstrip("\n")

    def ok(self, *args, timeout=90):
        rc, out = self(*args, timeout=timeout)
        if rc != 0:
            raise AssertionError("QvDriver %s: exit %d, %r" % (" ".join(map(str, args)), rc, out))
        return out

    def wait_main(self, ms=30000):
        return self.ok("wait-main", ms, timeout=ms / 1000 + 30)

    def wait_msgbox(self, ms=30000):
        return self.ok("wait-msgbox", ms, timeout=ms / 1000 + 30)

    def answer_msgbox(self, ms=30000):
        """Waits for the message box, clicks its OK button, waits until it has gone; returns its text."""
        text = self.wait_msgbox(ms)
        self.ok("click", ID_OK, "msgbox")
        self.ok("wait-no-msgbox", 10000)
        return text

    def text(self, control_id):
        return self.ok("text", control_id)

    def rows(self):
        """The item list's rows, a list of cell texts each (without the check state)."""
        return [cells[:-1] if cells[-1] in CHECK_STATES else cells for cells in self.rows_with_checks()]

    def checks(self):
        """The check state of each row of the item list: True when checked."""
        return [cells[-1] == CHECK_STATES[0] for cells in self.rows_with_checks()]

    def rows_with_checks(self):
        out = self.ok("list")
        return [line.split("\t") for line in out.split("\n") if line.strip()]

    def focus(self, which="main"):
        """The control id that has the keyboard focus (0: the window itself)."""
        return int(self.ok("focus", which))

    def rect(self, which="main"):
        return tuple(int(v) for v in self.ok("rect", which).split())


class RoadTest(unittest.TestCase):
    """A test of the download road: a fresh Wine session with no scanner, no setup record and no work
    folder (removed again at clean-up, after the program has been killed), and an FTP server on
    port 5301 for the test to fill and start."""

    def setUp(self):
        self.wine = Wine()
        self.wine.kill_server()
        self.work = self.wine.unix(WORK_FOLDER)
        self.record = self.wine.unix(SETUP_RECORD)
        self.remove_record()
        # Clean-ups run last-registered first: these run after the program has been killed.
        self.addCleanup(self.remove_record)
        self.addCleanup(shutil.rmtree, self.work, True)
        self.kept = self.wine.unix(KEPT_FOLDER)
        shutil.rmtree(self.kept, True)
        self.addCleanup(shutil.rmtree, self.kept, True)
        remove_scanner(self.wine)
        self.addCleanup(remove_scanner, self.wine)
        self.ftp = FtpFixture(port=5301)
        self.addCleanup(self.ftp.cleanup)

    def remove_record(self):
        if os.path.exists(self.record):
            os.remove(self.record)

    def launch_record(self, timeout=60):
        """What the demo setup program recorded about its start, once it has started."""
        wait_until(lambda: os.path.exists(self.record) and os.path.getsize(self.record) > 0, timeout,
                   "the setup program to start")
        with open(self.record, encoding="utf-8") as f:
            return f.read()


class Program:
    """A copy of the program installed under a given file name, started and awaited."""

    def __init__(self, wine, name="QuorvelDownloader.exe", folder=r"c:\qvtest", test_marker=False,
                 extra_env=None, args=()):
        self.wine = wine
        self.win_path = folder + "\\" + name
        self.path = wine.unix(self.win_path)
        folder_unix = os.path.dirname(self.path)
        if os.path.isdir(folder_unix):
            shutil.rmtree(folder_unix)
        os.makedirs(folder_unix)
        shutil.copy(os.path.join(BIN, "QuorvelDownloader.exe"), self.path)
        if test_marker:
            open(os.path.join(folder_unix, "KOR_FT.ini"), "w").close()
        self.env = dict(wine.env, **(extra_env or {}))
        self.args = list(args)
        self.process = None

    def start(self):
        self.wine.use_arial_replacement()
        # Started through QvRunWait, which prints the whole exit code: Wine's own exit status keeps
        # only its low 8 bits (1618 would read 82).
        self.process = subprocess.Popen(["wine", os.path.join(BIN, "QvRunWait.exe"), self.win_path] + self.args,
                                        env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return self

    def wait(self, timeout=60):
        """The exit code; raises on timeout (after killing the program)."""
        began = time.monotonic()
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise
        out = self._printed(max(5.0, timeout - (time.monotonic() - began)))
        codes = re.findall(r"^exit=(\d+)$", out, re.M)
        if not codes:
            raise AssertionError("the program did not start: %r" % out[-200:])
        return int(codes[-1])

    def _printed(self, timeout):
        """What QvRunWait printed. Read until its code line, not to the end of the pipe: a program
        the tested one started (Explorer for /log) may hold the pipe open long after both ended."""
        fd = self.process.stdout.fileno()
        out = b""
        deadline = time.monotonic() + timeout
        while not re.search(rb"^exit=\d+\r?$", out, re.M):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                break
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            out += chunk
        return out.decode("utf-8", "replace").replace("\r\n", "\n")

    def running(self):
        return self.process is not None and self.process.poll() is None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(10)
        self.wine.kill_server()


class DiagnosticsLog:
    """The program's diagnostics log in a prefix, emptied for one test."""

    def __init__(self, wine):
        self.folder = wine.unix(LOG_FOLDER)
        shutil.rmtree(self.folder, ignore_errors=True)

    def lines(self):
        path = os.path.join(self.folder, "QuorvelDownloader.log")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:  # strict: the log is valid UTF-8
            return f.read().splitlines()

    def event(self, name, timeout=10):
        """The first line of the event as {fact: value} (quotes and escapes left as written), once
        the program has written it."""
        def find():
            for line in self.lines():
                fields = line.split(" ", 3)
                if len(fields) >= 3 and fields[2] == name:
                    return dict(re.findall(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)', fields[3] if len(fields) > 3 else ""))
            return None
        try:
            return wait_until(find, timeout, "a %s line in the diagnostics log" % name)
        except AssertionError:
            raise AssertionError("no %s line in the log:\n%s" % (name, "\n".join(self.lines())))


def text_table(korean=False):
    """The program's text table in one language, read from the resource it is built from."""
    with open(os.path.join(ROOT, "resources", "TextTable.txt"), encoding="utf-8", newline="") as f:
        lines = f.read().split("\r\n")
    column = 1 if korean else 0
    return [line.rstrip(";").split("^")[column].replace("\\n", "\n") for line in lines if line]


def demo_setup_signed(padding=0):
    """The demo setup program followed by `padding` random bytes, signed with the run's throwaway
    certificate (build/signing), as the program launches only signed setups."""
    return signed_demo_setup(os.path.join(BIN, "DemoSetup.exe"), os.path.join(BUILD, "signing"),
                             os.urandom(padding))


def publish_release(ftp, remote_folder, signer, **options):
    """The maker's signed release statement for the setup programs of an FTP folder, written there by
    scripts/publish.py as a maker would, signed with `signer` (options: days, serial,
    allow_downgrade, edition, rollout)."""
    sys.path.insert(0, os.path.join(ROOT, "scripts"))
    import publish  # noqa: E402
    folder = ftp.path_of(remote_folder)
    for name in ("release.txt", "release.txt.p7s"):
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
    publish.publish(folder, signer.cert, signer.key, **options)


def install_scanner(wine, version=None):
    """Installs the stand-in TALVIX.exe where the program looks for the scanner (the 32-bit program
    files folder of a 64-bit prefix); with a version, gives it that FileVersion. Returns its C: path."""
    folder = r"c:\Program Files (x86)"
    if not os.path.isdir(wine.unix(folder)):
        folder = r"c:\Program Files"
    win_path = folder + r"\QuorvelSystems\TALVIX\TALVIX.exe"
    target = wine.unix(win_path)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copy(os.path.join(BIN, "TalvixStandIn.exe"), target)
    if version is not None:
        rc, _ = wine.run([os.path.join(BIN, "SetVersionInfo.exe"), win_path, "0409", "04b0", version])
        if rc != 0:
            raise AssertionError("SetVersionInfo failed with %d" % rc)
    return win_path


def remove_scanner(wine):
    for folder in (r"c:\Program Files (x86)", r"c:\Program Files"):
        shutil.rmtree(wine.unix(folder + r"\QuorvelSystems"), ignore_errors=True)


def screenshot(driver, path, which="main"):
    """Saves the program's window (or message box) as seen on the X display, as PNG."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    left, top, right, bottom = driver.rect(which)
    subprocess.run(["/usr/bin/import", "-window", "root", "-crop",
                    "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage", path],
                   check=True, timeout=30, capture_output=True)
    return path


def scaled(layout, dpi):
    """A layout length (96 DPI) at the DPI, rounded as the program rounds it."""
    return (layout * dpi + 48) // 96


def screen_size():
    """The X screen's width and height."""
    out = subprocess.run(["xdpyinfo"], check=True, capture_output=True, timeout=30).stdout.decode()
    width, height = re.search(r"dimensions:\s+(\d+)x(\d+)", out).groups()
    return int(width), int(height)


def click_screen(x, y):
    """A real click of the pointer at a point of the X screen."""
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True, timeout=30)


def screenshot_dir():
    d = os.environ.get("QV_SCREENSHOT_DIR") or os.path.join(BUILD, "screenshots")
    os.makedirs(d, exist_ok=True)
    return d


def wait_until(pred, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        v = pred()
        if v:
            return v
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %s s waiting for %s" % (timeout, what))
        time.sleep(0.1)
