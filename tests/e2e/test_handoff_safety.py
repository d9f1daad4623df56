"""The hand-off against hostile surroundings, in the real program: a file planted in the work folder
during a download, a download changed on disk before its launch, a link planted in place of the work
folder, every private window message with junk parameters from another program (to the message box
while it waits, to the main window and each control, and to the main window during a download), and
Check Server arriving while the finished download is handed over. (A served setup file that is no
program: test_download.py.)"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (BIN, ID_BANNER, ID_CHECK_SERVER, ID_START, WORK_FOLDER, Driver, FtpFixture, Wine,
                     install_scanner, screenshot, screenshot_dir, text_table, wait_until)
from hardening import demo_setup, log, prepare_program

EN = text_table()
FOLDER = "/Software"
SETUP = "TALVIX_FULL_250101.exe"
REMOTE = FOLDER + "/" + SETUP
LOCAL = SETUP.upper()
# A newer FULL setup by its name: it would sort before the download and be launched in its place.
PLANTED = "X_FULL_999999.EXE"


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

    def plant(self):
        """A copy of the demo setup under a newer setup name in the work folder; its launch would
        record its own path."""
        os.makedirs(self.work, exist_ok=True)
        path = os.path.join(self.work, PLANTED)
        shutil.copy(os.path.join(BIN, "DemoSetup.exe"), path)
        return path

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

    def test_a_file_planted_during_the_download_is_neither_listed_nor_launched(self):
        self.start(demo_setup(600000), rate=200000)
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", "/ 100[%]", 20000)
        self.plant()
        self.shot("planted-during-download")
        self.assertEqual(self.program.wait(60), 0)
        self.assert_download_launched()
        ini = os.path.join(self.work, "NEXT_UPDATE_INFO.INI")
        if os.path.exists(ini):
            with open(ini, "rb") as f:
                self.assertNotIn(PLANTED.lower().encode(), f.read().lower())

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
        victim = tempfile.mkdtemp(prefix="qv-link-target-")
        self.addCleanup(shutil.rmtree, victim, True)
        with open(os.path.join(victim, "PRECIOUS.TXT"), "wb") as f:
            f.write(b"another account's file")
        work = Wine().unix(WORK_FOLDER)
        shutil.rmtree(work, True)
        os.symlink(victim, work)
        self.addCleanup(lambda: os.path.islink(work) and os.unlink(work))
        self.start(demo_setup(100000))  # the server check at start-up empties the work folder
        self.driver.ok("click", ID_START)
        self.wait_notice_or_end(60)
        self.assertEqual(self.driver.answer_msgbox(), EN[29])
        self.assertTrue(self.program.running())
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

    def test_stray_private_messages_neither_crash_nor_steer_the_program(self):
        self.served = self.ftp.add_file(REMOTE, demo_setup(2000000))
        self.ftp.max_lifetime = 1800  # half a million messages take minutes under Wine
        self.wine, self.program, self.work, self.record = prepare_program(self)
        self.driver = Driver(self.wine)
        scanner = self.start_scanner(900)
        self.program.start()  # no server yet: the failure notice waits for its answer
        self.driver.wait_msgbox()
        self.stray("msgbox")
        self.assertEqual(self.driver("visible", "msgbox")[1], "1")
        self.assertEqual(self.driver.answer_msgbox(), EN[9] + "\n" + EN[10])
        self.assert_nothing_launched()

        self.ftp.start()
        self.driver.wait_main()
        self.assert_check_server_works()
        # A hand-off set off from outside would launch this and end the scanner.
        planted = self.plant()
        self.stray("main", "controls")
        self.assertIsNone(scanner.poll(), "the scanner was ended")
        self.assert_nothing_launched()
        self.assertTrue(os.path.exists(planted))
        self.driver.ok("wait-enabled", 1, 10000)
        self.shot("after-stray-messages")
        self.assert_check_server_works()

        # While a download runs, held back by the server until the messages have all been sent.
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
