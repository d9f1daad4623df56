"""The hand-off against hostile surroundings, in the real program: a work folder opened to everyone
with files planted in it during a download, a download changed on disk before its launch, a link
planted in place of the work folder, DLLs planted beside the program, every private window message
with junk parameters from another program (to the message box while it waits, to the main window and
each control, and to the main window during a download, each a case of its own), and Check Server
arriving while the finished download is handed over. (A served setup file that is no program: test_download.py.)"""
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

from harness import (BIN, ID_BANNER, ID_CHECK_SERVER, ID_START, LOG_FOLDER, WORK_FOLDER, Driver, FtpFixture, Wine,
                     install_scanner, screenshot, screenshot_dir, text_table, wait_until)
from hardening import demo_setup, log, prepare_program

EN = text_table()
FOLDER = "/Software"
SETUP = "TALVIX_FULL_250101.exe"
REMOTE = FOLDER + "/" + SETUP
LOCAL = SETUP.upper()
# A newer FULL setup by its name: it would sort before the download and be launched in its place.
PLANTED = "X_FULL_999999.EXE"
# Rights that let a trustee add, change or delete what a folder holds, or take it over.
CHANGE_RIGHTS = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000
SDDL_RIGHTS = {"FA": 0x1F01FF, "FR": 0x120089, "FW": 0x120116, "FX": 0x1200A0, "GA": 0x10000000,
               "GR": 0x80000000, "GW": 0x40000000, "GX": 0x20000000, "SD": 0x10000, "WD": 0x40000,
               "WO": 0x80000, "RC": 0x20000, "WP": 0x20, "CC": 0x1, "DC": 0x2, "LC": 0x4, "SW": 0x8,
               "RP": 0x10, "DT": 0x40, "LO": 0x80, "CR": 0x100}
PLANTED_RECORD = r"c:\Windows\Temp\qv-planted-loaded.txt"
# Loaded from System32 whatever the search order, on every Windows the program runs on.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll", "ole32.dll",
              "ntdll.dll"}
# Wine's own PE builtins, by the machine of the program that loads them.
WINE_BUILTINS = {0x14C: "/usr/lib/i386-linux-gnu/wine/i386-windows",
                 0x8664: "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"}


def pe_headers(data):
    """(machine, offset of the optional header's data directories) of a PE file, 32- or 64-bit."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    return machine, pe + 24 + (112 if magic == 0x20B else 96)


def pe_machine(path):
    with open(path, "rb") as f:
        return pe_headers(f.read())[0]


def static_imports(path):
    """The DLL names of a PE file's import table, lower case."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    table = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]

    def offset(rva):
        for i in range(sections):
            size, address, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, 1):
                return rva - address + raw
        raise ValueError("RVA %x outside the sections" % rva)

    rva = struct.unpack_from("<I", data, pe_headers(data)[1] + 8)[0]
    names = set()
    at = offset(rva) if rva else None
    while at is not None:
        name_rva = struct.unpack_from("<I", data, at + 12)[0]
        if name_rva == 0:
            break
        start = offset(name_rva)
        names.add(data[start:data.index(b"\0", start)].decode("ascii").lower())
        at += 20
    return names


def wine_loads_with(dlls, machine):
    """What Wine's own builtin DLLs of the machine import, from the given ones on: DLLs every program
    with these imports loads at its start under Wine, before any of its code runs (Wine's user32
    imports version.dll, Windows' does not)."""
    seen, todo = set(), list(dlls)
    builtins = WINE_BUILTINS[machine]
    if not os.path.isdir(builtins):
        raise unittest.SkipTest("Wine's builtin DLLs are not at %s" % builtins)
    while todo:
        path = os.path.join(builtins, todo.pop())
        if not os.path.exists(path):
            continue
        for name in static_imports(path) - seen:
            seen.add(name)
            todo.append(name)
    return seen


def others_who_may_change(sddl):
    """The entries of an SDDL DACL that let anyone but the owner, SYSTEM and Administrators change
    the folder: [(trustee, rights)]."""
    owner = re.match(r"O:([^:]+?)(?:G:|D:)", sddl).group(1)
    found = []
    for kind, rights, trustee in re.findall(r"\((\w+);[^;]*;([^;]*);[^;]*;[^;]*;([^)]*)\)", sddl):
        if kind != "A" or trustee in ("SY", "BA", owner):
            continue
        mask = int(rights, 16) if rights.startswith("0x") else sum(
            SDDL_RIGHTS.get(rights[i:i + 2], 0) for i in range(0, len(rights), 2))
        if mask & CHANGE_RIGHTS:
            found.append((trustee, rights))
    return found


def dll_names(exe):
    """Every DLL name the program's file mentions (its imports, delay-loaded or not, and any name it
    loads by itself), lower case."""
    with open(exe, "rb") as f:
        data = f.read()
    ascii_names = re.findall(rb"[A-Za-z0-9_\-]{2,40}\.[dD][lL][lL]", data)
    wide_names = re.findall(rb"(?:[A-Za-z0-9_\-]\x00){2,40}\.\x00[dD]\x00[lL]\x00[lL]\x00", data)
    return sorted({n.decode("ascii").lower() for n in ascii_names} |
                  {n.decode("utf-16-le").lower() for n in wide_names})


class HandOffSafetyTest(unittest.TestCase):
    def setUp(self):
        self.ftp = FtpFixture(port=5301)
        self.addCleanup(self.ftp.cleanup)

    def start(self, content, **faults):
        """Serves the setup file, starts the program and waits for the offered row."""
        self.served = self.ftp.add_file(REMOTE, content)
        self.ftp.set_faults(**faults)
        self.ftp.start()
        self.wine, self.program, self.work, self.record = prepare_program(self)
        self.program.start()
        self.driver = Driver(self.wine)
        self.driver.wait_main()
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 30000)
        self.assertEqual(self.driver.rows()[0][3], EN[0])

    def shot(self, name, which="main"):
        screenshot(self.driver, os.path.join(screenshot_dir(), "handoff-safety-%s.png" % name), which)

    def plant(self, name=PLANTED):
        """A copy of the demo setup under a newer setup name (or another) in the work folder; its
        launch would record its own path."""
        os.makedirs(self.work, exist_ok=True)
        path = os.path.join(self.work, name)
        shutil.copy(os.path.join(BIN, "DemoSetup.exe"), path)
        return path

    def work_folder_sddl(self):
        return self.driver.wine.run([os.path.join(BIN, "QvSecurity.exe"), "sddl", WORK_FOLDER])[1].decode().strip()

    def launched_path(self, timeout=60):
        """The path the setup program recorded as its own, once one has started."""
        wait_until(lambda: os.path.exists(self.record) and os.path.getsize(self.record) > 0, timeout,
                   "a setup program to start")
        with open(self.record, encoding="utf-8") as f:
            return f.read().splitlines()[0]

    def assert_download_launched(self):
        self.assertEqual(self.launched_path().lower(), ("path=" + WORK_FOLDER + "\\" + LOCAL).lower())
        with open(os.path.join(self.work, LOCAL), "rb") as f:
            self.assertTrue(f.read() == self.served, "the downloaded bytes differ from the server's")

    def start_scanner(self, lifetime=300):
        """A running stand-in TALVIX.exe, which ends itself after LIFETIME seconds (or at clean-up)."""
        scanner = subprocess.Popen(["wine", install_scanner(self.wine), str(lifetime)], env=self.wine.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: scanner.poll() is None and (scanner.kill(), scanner.wait(10)))
        wait_until(lambda: self.driver("cmdline", "TALVIX.exe")[0] == 0, 30, "the stand-in scanner to run")
        return scanner

    def wait_notice_or_end(self, timeout):
        """Waits for the message box; fails at once when the program ends instead."""
        wait_until(lambda: not self.program.running() or self.driver("visible", "msgbox")[1] == "1", timeout,
                   "a notice")
        if not self.program.running():
            self.fail("the program ended (exit %s) instead of showing a notice" % self.program.process.returncode)

    def assert_check_server_works(self):
        self.ftp.clear_requests()
        self.driver.ok("click", ID_CHECK_SERVER)
        self.ftp.wait_for_request("LIST " + FOLDER, 20)
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 20000)
        self.assertEqual(self.driver.rows()[0][3], EN[0])

    def test_an_open_work_folder_is_made_private_and_cleared_of_planted_files_before_the_launch(self):
        # Opened to everyone before the program starts and again during the download (the one
        # unsafe state Wine can show: "Everyone may write"), with a setup, a library and a
        # hand-off file planted in it.
        work = Wine().unix(WORK_FOLDER)
        shutil.rmtree(work, True)
        os.makedirs(work)
        os.chmod(work, 0o777)
        self.start(demo_setup(600000), rate=200000)
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", "/ 100[%]", 20000)
        # The download made it private (a check alone leaves the disk as it is).
        self.assertEqual(others_who_may_change(self.work_folder_sddl()), [])
        os.chmod(self.work, 0o777)
        self.assertNotEqual(others_who_may_change(self.work_folder_sddl()), [])
        planted = [self.plant(), self.plant("VERSION.DLL"), self.plant("NEXT_UPDATE_INFO.INI")]
        self.shot("planted-during-download")
        self.assertEqual(self.program.wait(60), 0)
        self.assert_download_launched()
        self.assertEqual([p for p in planted if os.path.exists(p)], [])
        self.assertEqual(sorted(os.listdir(self.work)), [LOCAL])
        sddl = self.work_folder_sddl()
        self.assertEqual(others_who_may_change(sddl), [], sddl)

    def test_libraries_planted_beside_the_program_are_not_loaded(self):
        """Planted twice: a DLL of the program's own bitness, then one of the other bitness, which
        a loader that searched the program's folder would find and fail on."""
        exe = os.path.join(BIN, "QuorvelDownloader.exe")
        static = static_imports(exe)
        self.assertLessEqual(static, KNOWN_DLLS, "static imports that are not KnownDLLs")
        # Every other DLL the program names is planted, but those Wine itself loads for the static
        # imports at start-up, which no program can keep out under Wine.
        names = [n for n in dll_names(exe) if n not in KNOWN_DLLS | wine_loads_with(static, pe_machine(exe))]
        for expected in ("wininet.dll", "wintrust.dll", "bcrypt.dll", "comctl32.dll", "crypt32.dll"):
            self.assertIn(expected, names)
        own, other = (os.path.join(BIN, dll) for dll in ("QvPlanted.dll", "QvPlantedOther.dll"))
        self.assertNotEqual(pe_machine(own), pe_machine(other))
        record = Wine().unix(PLANTED_RECORD)
        self.addCleanup(lambda: os.path.exists(record) and os.remove(record))
        self.served = self.ftp.add_file(REMOTE, demo_setup(100000))
        self.ftp.start()
        for planted in (own, other):
            with self.subTest(bitness=hex(pe_machine(planted))):
                if os.path.exists(record):
                    os.remove(record)
                self.wine, self.program, self.work, self.record = prepare_program(self)
                for name in names:
                    shutil.copy(planted, os.path.join(os.path.dirname(self.program.path), name))
                # Wine prefers its own DLLs unless asked for native ones: ask for every planted name.
                overrides = ";".join(n[:-4] + "=n,b" for n in names)
                self.program.env["WINEDLLOVERRIDES"] = overrides + ";mscoree,mshtml="
                self.program.start()
                self.driver = Driver(self.wine)
                self.driver.wait_main()
                self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 30000)
                self.driver.ok("click", ID_START)
                self.assertEqual(self.program.wait(60), 0)
                self.assert_download_launched()
                loaded = open(record, encoding="utf-8").read() if os.path.exists(record) else ""
                self.assertEqual(loaded, "", "planted DLLs were loaded")

    def test_a_download_changed_on_disk_before_the_launch_is_not_launched(self):
        program_size = len(demo_setup())
        self.start(demo_setup(2000000), rate=600000)
        self.driver.ok("click", ID_START)
        local = os.path.join(self.work, LOCAL)
        wait_until(lambda: os.path.exists(local) and os.path.getsize(local) > program_size + 65536, 30,
                   "the download to pass the program's own bytes")
        # One byte of the padding behind the image: the file still starts, but it is not the download.
        with open(local, "r+b") as f:
            f.seek(program_size + 1000)
            byte = f.read(1)
            f.seek(program_size + 1000)
            f.write(bytes([byte[0] ^ 0xFF]))
        self.wait_notice_or_end(60)
        self.shot("changed-download", "msgbox")
        self.assertEqual(self.driver.answer_msgbox(), EN[13] + "\n" + EN[14])
        self.driver.ok("wait-enabled", 1, 10000)
        self.assertTrue(self.program.running())
        self.assertFalse(os.path.exists(self.record), "a setup program was launched")

    def test_a_link_in_place_of_the_work_folder_is_neither_emptied_nor_written_through(self):
        """Links in place of the work folder and of the user's log folder, which holds the kept
        downloads' folder: nothing is written into, or removed from, what they point to."""
        victims = []
        for _ in range(2):
            victims.append(tempfile.mkdtemp(prefix="qv-link-target-"))
            self.addCleanup(shutil.rmtree, victims[-1], True)
            with open(os.path.join(victims[-1], "PRECIOUS.TXT"), "wb") as f:
                f.write(b"another account's file")
        links = [Wine().unix(WORK_FOLDER), Wine().unix(LOG_FOLDER)]
        for link, victim in zip(links, victims):
            shutil.rmtree(link, True)
            os.symlink(victim, link)
            self.addCleanup(lambda link=link: os.path.islink(link) and os.unlink(link))
        self.start(demo_setup(100000))  # the server check at start-up empties the work folder
        self.driver.ok("click", ID_START)
        self.wait_notice_or_end(60)
        self.assertEqual(self.driver.answer_msgbox(), EN[29])
        self.assertTrue(self.program.running())
        for victim in victims:
            self.assertEqual(os.listdir(victim), ["PRECIOUS.TXT"])
        self.assertFalse(os.path.exists(self.record), "a setup program was launched")

    def stray(self, *targets):
        """Sends every private message with junk to the targets, as another program could."""
        began = time.monotonic()
        rc, out = self.wine.run([os.path.join(BIN, "QvStrayMessages.exe")] + list(targets), timeout=1200)
        out = out.decode("utf-8", "replace").strip()
        log("stray messages to %s: %s (%.0f s)" % (" ".join(targets), out, time.monotonic() - began))
        self.assertEqual(rc, 0, out)
        self.assertTrue(self.program.running(), "the program ended")

    def assert_nothing_launched(self):
        if os.path.exists(self.record):
            with open(self.record, encoding="utf-8", errors="replace") as f:
                self.fail("a setup program was launched: %r; the server saw %s" % (f.read(), self.ftp.requests()))

    # Every private message with junk, in three cases that run side by side: to the notice while it
    # waits, to the window and each control while it offers a setup, and to the window during a
    # download. Half a million messages take minutes under Wine.
    def stray_setup(self, size=100000):
        self.served = self.ftp.add_file(REMOTE, demo_setup(size))
        self.ftp.max_lifetime = 1800
        self.wine, self.program, self.work, self.record = prepare_program(self)
        self.driver = Driver(self.wine)

    def test_stray_private_messages_neither_answer_nor_close_the_notice(self):
        self.stray_setup()
        self.program.start()  # no server yet: the failure notice waits for its answer
        self.driver.wait_msgbox()
        self.stray("msgbox")
        self.assertEqual(self.driver("visible", "msgbox")[1], "1")
        self.assertEqual(self.driver.answer_msgbox(), EN[9] + "\n" + EN[10])
        self.assert_nothing_launched()

    def test_stray_private_messages_neither_crash_nor_steer_the_window(self):
        self.stray_setup()
        scanner = self.start_scanner(900)
        self.ftp.start()
        self.program.start()
        self.driver.wait_main()
        self.assert_check_server_works()
        # A hand-off set off from outside would launch this and end the scanner.
        planted = self.plant()
        self.stray("main:3", "controls")
        self.assertIsNone(scanner.poll(), "the scanner was ended")
        self.assert_nothing_launched()
        self.assertTrue(os.path.exists(planted))
        self.driver.ok("wait-enabled", 1, 10000)
        self.shot("after-stray-messages")
        self.assert_check_server_works()

    def test_stray_private_messages_during_a_download_leave_it_to_its_launch(self):
        # Held back by the server until the messages have all been sent.
        self.stray_setup(2000000)
        self.ftp.start()
        self.program.start()
        self.driver.wait_main()
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 30000)
        self.ftp.update_faults(rate=2000)
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", "/ 100[%]", 20000)
        self.stray("main:3")
        self.assertRegex(self.driver.rows()[0][3], r"/ 100\[%\]", "the download ended before the messages")
        self.assert_nothing_launched()
        self.ftp.update_faults(rate=0)
        self.assertEqual(self.program.wait(60), 0)
        self.assert_download_launched()

    def test_check_server_cannot_overtake_the_finish(self):
        self.start(demo_setup(600000), rate=300000)
        self.ftp.clear_requests()
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", "/ 100[%]", 20000)
        self.shot("check-server-during-download")
        # From the completed row (the worker's last 500 ms) until the window has gone.
        posted = int(self.driver.ok("post-command", ID_CHECK_SERVER, 20000, EN[2], timeout=60))
        self.assertGreater(posted, 0)
        checks = self.ftp.requests().count("LIST " + FOLDER)
        left = sorted(os.listdir(self.work)) if os.path.isdir(self.work) else []
        self.assertEqual(checks, 0, "%d server checks ran after the start; the work folder holds %s"
                         % (checks, left))
        self.assertEqual(self.program.wait(60), 0)
        self.assert_download_launched()


if __name__ == "__main__":
    unittest.main()
