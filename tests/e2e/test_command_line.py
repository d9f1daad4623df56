"""The road driven by a fleet's script: /check asks the server and says by its exit code whether a
setup is offered; /update /quiet runs the road without any window, starts the setup with the maker's
unattended arguments and ends with its code, and never ends a scanner in use unless /endscanner
allows it (1618); /update /passive shows the road and runs it without a click; one run at a time
(1618), a window started meanwhile saying so when it has no window of the other run to show; a
command line the program does not understand ends with 1639 and opens nothing; a source that drips
a byte a connection ends the run (30), and one that drips its signature or its listing ends a quiet
run at its deadline (1460, counted from the start) and a check within its bound (20); a quiet update
whose statement fails its signature fetches no byte of the setup. Each run's outcome is in the log."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (BUILD, DiagnosticsLog, Driver, Program, RoadTest, Wine, demo_setup_signed, install_scanner,
                     publish_release, screenshot, screenshot_dir, text_table, wait_until)
from https_fixture import trust_certificate
from signing import Signer

SETUP = "/Software/TALVIX_FULL_250101.exe"
ANOTHER_UPDATE_RUNNING = 31  # the text table's line


class CommandLineTest(RoadTest):
    def run_program(self, *args, timeout=90, env=None):
        program = Program(self.wine, args=list(args), extra_env=env).start()
        self.addCleanup(program.kill)
        return program.wait(timeout)

    def retrieved(self):
        return [r for r in self.ftp.requests() if r.startswith("RETR")]

    def start_scanner(self):
        path = install_scanner(self.wine)
        scanner = subprocess.Popen(["wine", path, "120"], env=self.wine.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: scanner.poll() is None and (scanner.kill(), scanner.wait(10)))
        wait_until(lambda: Driver(self.wine)("cmdline", "TALVIX.exe")[0] == 0, 30, "the stand-in scanner to run")
        return scanner

    def test_check_says_offered_or_unreachable_and_downloads_nothing(self):
        log = DiagnosticsLog(self.wine)
        self.assertEqual(self.run_program("/check"), 20)  # no server yet
        self.assertEqual(log.event("road.checked")["outcome"], "server-unreachable")
        self.ftp.add_file(SETUP, demo_setup_signed())
        self.ftp.start()
        # What lies in the work folder (another run's setup, say) is none of a check's business.
        os.makedirs(self.work, exist_ok=True)
        kept = os.path.join(self.work, "TALVIX_FULL_240101.EXE")
        with open(kept, "wb") as f:
            f.write(b"another run's setup")
        self.assertEqual(self.run_program("/CHECK"), 10)
        self.assertTrue(os.path.exists(kept))
        self.assertIn("LIST /Software", self.ftp.requests())
        self.assertEqual(self.retrieved(), [])
        self.assertEqual(self.run_program("/check", "/norestart"), 10)
        # /log FILE through a link anywhere on its path: neither the linked folder nor anything
        # below it is written, and the log names the link.
        victim = tempfile.mkdtemp(prefix="qv-log-target-")
        self.addCleanup(shutil.rmtree, victim, True)
        os.makedirs(os.path.join(victim, "sub"))
        linked = self.wine.unix(r"c:\qv-linked")
        if os.path.lexists(linked):
            os.unlink(linked)
        os.symlink(victim, linked)
        self.addCleanup(os.unlink, linked)
        self.assertEqual(self.run_program("/check", "/log", r"c:\qv-linked\sub\copy.log"), 10)
        self.assertEqual(os.listdir(os.path.join(victim, "sub")), [])
        refused = log.event("log.copy-folder")
        self.assertEqual((refused["refused"], refused["at"]), ("link-in-path", r'"c:\\qv-linked"'))

    def test_quiet_update_leaves_a_running_scanner_alone_unless_allowed(self):
        self.ftp.add_file(SETUP, demo_setup_signed())
        self.ftp.start()
        scanner = self.start_scanner()
        self.assertEqual(self.run_program("/update", "/quiet"), 1618)
        self.assertIsNone(scanner.poll())
        self.assertEqual(self.retrieved(), [])
        self.assertFalse(os.path.exists(self.record))

        self.assertEqual(self.run_program("/update", "/quiet", "/endscanner"), 0)
        self.launch_record()
        scanner.wait(30)  # ended before the launch

    def test_a_current_scanner_ends_check_and_update_at_once(self):
        # The maker's statement says 9.0.0.0, the demo setup's version; its signer is a root the PC
        # trusts, as the build pins nobody.
        signer = Signer.make(os.path.join(BUILD, "signing"), "a")
        trust_certificate(self.wine.env, signer.cert)
        install_scanner(self.wine, "9.0.0.0")
        self.ftp.add_file(SETUP, demo_setup_signed())
        publish_release(self.ftp, "/Software", signer)
        self.ftp.start()
        log = DiagnosticsLog(self.wine)
        self.assertEqual(self.run_program("/check"), 0)
        self.assertEqual(self.run_program("/update", "/quiet"), 0)
        self.assertEqual([r for r in self.retrieved() if r.endswith(".exe")], [])  # the statement only
        self.assertFalse(os.path.exists(self.record))
        self.assertEqual(log.event("road.checked")["outcome"], "already-current")

    def test_passive_update_shows_the_road_and_launches_without_a_click(self):
        self.ftp.add_file(SETUP, demo_setup_signed())
        self.ftp.set_faults(rate=2000000)
        self.ftp.start()
        program = Program(self.wine, args=["/update", "/passive"]).start()
        self.addCleanup(program.kill)
        Driver(self.wine).wait_main()
        self.launch_record()
        self.assertEqual(program.wait(60), 0)

    def test_a_command_line_not_understood_ends_with_1639_and_opens_nothing(self):
        log = DiagnosticsLog(self.wine)
        # "%~dp0" ends in a backslash that escapes its closing quote: the rest is one folder.
        self.assertEqual(self.run_program("/source", 'C:\\pkg" /update /quiet', timeout=30), 1639)
        self.assertEqual(log.event("command-line")["understood"], "no")
        self.assertEqual(self.run_program("/check", "/bogus", timeout=30), 1639)
        self.assertEqual(self.run_program("/update", timeout=30), 1639)  # needs /passive or /quiet
        # The usage goes to the script's output (here a null device), not into a box.
        self.assertEqual(self.run_program("/?", timeout=30), 0)
        self.assertEqual(self.retrieved(), [])

    def test_quiet_install_waits_for_the_setup_and_ends_with_its_code(self):
        signer = Signer.make(os.path.join(BUILD, "signing"), "a")
        trust_certificate(self.wine.env, signer.cert)
        self.ftp.add_file(SETUP, demo_setup_signed())
        publish_release(self.ftp, "/Software", signer, quiet_args="/S /norestart")
        self.ftp.start()
        log = DiagnosticsLog(self.wine)
        copy = self.wine.unix(r"c:\qv-copy.log")
        if os.path.exists(copy):
            os.remove(copy)
        env = {"QV_SETUP_EXIT_CODE": "3010", "QV_SETUP_RUN_MS": "1500"}
        self.assertEqual(self.run_program("/update", "/quiet", "/log", r"c:\qv-copy.log", env=env), 3010)
        self.assertIn("args=/S /norestart", self.launch_record())
        self.assertEqual(log.event("handoff.arguments")["arguments"], '"/S /norestart"')
        self.assertEqual(log.event("setup.ended")["exit_code"], "3010")
        with open(copy, encoding="utf-8") as f:  # /log FILE: the run's own lines
            self.assertIn("setup.ended exit_code=3010", f.read())

    def test_an_update_whose_statement_fails_its_signature_fetches_no_setup(self):
        # Signed by a root no PC here trusts, on a stick and on the server: neither source's setup is
        # asked for, and the run ends as one that found no valid statement.
        stranger = Signer.make(os.path.join(BUILD, "signing"), "stranger")
        setup = demo_setup_signed()
        stick = tempfile.mkdtemp(prefix="qv-stick-")
        self.addCleanup(shutil.rmtree, stick, True)
        with open(os.path.join(stick, os.path.basename(SETUP)), "wb") as f:
            f.write(setup)

        class Folder:  # what publish_release needs of a server: where its folder lies
            path_of = staticmethod(lambda _: stick)
        publish_release(Folder, "/Software", stranger, edition="Software")
        self.ftp.add_file(SETUP, setup)
        publish_release(self.ftp, "/Software", stranger)
        self.ftp.start()
        self.assertEqual(self.run_program("/update", "/quiet", "/source", "Z:" + stick), 21)
        self.assertNotIn(SETUP, [r.split(" ", 1)[1] for r in self.retrieved()])
        self.assertFalse(os.path.exists(self.record))
        self.assertFalse(os.path.exists(os.path.join(self.work, "TALVIX_FULL_250101.EXE")))
        self.assertEqual(os.listdir(self.kept) if os.path.isdir(self.kept) else [], [])

    def test_a_second_run_while_one_downloads_ends_with_1618_at_once(self):
        self.ftp.add_file(SETUP, demo_setup_signed(padding=4 * 1024 * 1024))
        self.ftp.set_faults(rate=200000)
        self.ftp.start()
        log = DiagnosticsLog(self.wine)
        first = Program(self.wine, args=["/update", "/passive"], extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"}).start()
        self.addCleanup(first.kill)
        wait_until(lambda: self.retrieved(), 60, "the first run to download")
        second = Program(self.wine, folder=r"c:\qvtest2", args=["/check"])
        started = time.monotonic()
        second.start()
        self.assertEqual(second.wait(30), 1618)
        self.assertLess(time.monotonic() - started, 10)  # Wine's own start-up included
        self.assertTrue(first.running())
        # A user who starts the window again while the first is down on the taskbar gets the first back.
        driver = Driver(self.wine)
        driver.ok("minimize", 10000)
        self.assertEqual(Program(self.wine, folder=r"c:\qvtest2").start().wait(30), 1618)
        self.assertTrue([line for line in log.lines() if " road.abandoned " in line and "window_shown=yes" in line])
        style = int(driver.ok("style", "main").split()[0], 16)
        self.assertFalse(style & 0x20000000)  # WS_MINIMIZE
        self.ftp.set_faults()
        self.assertEqual(first.wait(90), 0)
        # With no window of the first run to show (a quiet one), the user is told, in his language.
        self.ftp.set_faults(rate=200000)
        for lang, korean in (("en_US.UTF-8", False), ("ko_KR.UTF-8", True)):
            with self.subTest(lang=lang):
                wine = Wine(lang=lang)
                wine.kill_server()  # the language is read when the Wine session starts
                fetched = len(self.retrieved())
                quiet = Program(wine, args=["/update", "/quiet"]).start()
                self.addCleanup(quiet.kill)
                wait_until(lambda: len(self.retrieved()) > fetched, 60, "the quiet run to download")
                window = Program(wine, folder=r"c:\qvtest2").start()
                self.addCleanup(window.kill)
                driver = Driver(wine)
                driver.wait_msgbox()
                screenshot(driver, os.path.join(screenshot_dir(), "another-run-%s.png" % lang[:2]), "msgbox")
                self.assertEqual(driver.answer_msgbox(), text_table(korean)[ANOTHER_UPDATE_RUNNING])
                self.assertEqual(window.wait(30), 1618)
                self.assertTrue(quiet.running())
                wine.kill_server()

    def test_a_source_that_drips_ends_the_run_within_its_bounds(self):
        self.ftp.add_file(SETUP, demo_setup_signed())
        # Each connection: the 4096 bytes the resume checks again, one new byte, then silence.
        self.ftp.set_faults(drip={"*": 4097})
        self.ftp.start()
        log = DiagnosticsLog(self.wine)
        self.assertEqual(self.run_program("/update", "/quiet", env={"QV_TEST_LINE_BOUNDS": "1000,2000,100"},
                                          timeout=120), 30)
        self.assertGreater(len(self.retrieved()), 2)
        self.assertEqual(log.event("road.checked")["outcome"], "offered")
        self.assertFalse(os.path.exists(self.record))
        # A signature that comes a byte a second: /timeout counts from the process's start, the check
        # included, and the run ends with the deadline's code.
        publish_release(self.ftp, "/Software", Signer.make(os.path.join(BUILD, "signing"), "a"))
        self.ftp.set_faults(trickle={"/Software/release.txt.p7s": 1})
        log = DiagnosticsLog(self.wine)
        started = time.monotonic()
        self.assertEqual(self.run_program("/update", "/quiet", "/timeout", "1", timeout=120), 1460)
        self.assertLess(time.monotonic() - started, 75)
        self.assertIn("RETR /Software/release.txt.p7s", self.ftp.requests())
        self.assertEqual(log.event("road.deadline")["minutes"], "1")
        # A listing that comes a byte a second: a check ends within its total bound (shortened here) as
        # one that could not reach the server.
        self.ftp.set_faults(trickle={"/Software": 1})
        log = DiagnosticsLog(self.wine)
        started = time.monotonic()
        self.assertEqual(self.run_program("/check", env={"QV_TEST_LINE_BOUNDS": "0,0,0,5000"}, timeout=60), 20)
        self.assertLess(time.monotonic() - started, 30)  # Wine's own start-up included
        self.assertEqual(log.event("road.checked")["outcome"], "server-unreachable")
        self.assertFalse(os.path.exists(self.record))

if __name__ == "__main__":
    unittest.main()
