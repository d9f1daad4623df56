"""The road driven by a fleet's script: /check asks the server and says by its exit code whether a
setup is offered; /update /quiet runs the road without any window and never ends a scanner in use
unless /endscanner allows it; /update /passive shows the road and runs it without a click; a command
line the program does not understand ends with 2. Each run's outcome is in the log."""
import os
import subprocess
import unittest

from harness import (BUILD, DiagnosticsLog, Driver, Program, RoadTest, demo_setup_signed, install_scanner,
                     publish_release, wait_until)
from https_fixture import trust_certificate
from signing import Signer

SETUP = "/Software/TALVIX_FULL_250101.exe"


class CommandLineTest(RoadTest):
    def run_program(self, *args, timeout=90):
        program = Program(self.wine, args=list(args)).start()
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
        self.assertEqual(self.run_program("/CHECK"), 10)
        self.assertIn("LIST /Software", self.ftp.requests())
        self.assertEqual(self.retrieved(), [])
        self.assertEqual(self.run_program("/check", "/bogus"), 2)
        self.assertEqual(self.run_program("/update"), 2)  # needs /passive or /quiet

    def test_quiet_update_leaves_a_running_scanner_alone_unless_allowed(self):
        self.ftp.add_file(SETUP, demo_setup_signed())
        self.ftp.start()
        scanner = self.start_scanner()
        self.assertEqual(self.run_program("/update", "/quiet"), 50)
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


if __name__ == "__main__":
    unittest.main()
