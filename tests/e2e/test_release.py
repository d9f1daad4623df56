"""The maker's current setup: an older setup program than the installed scanner is refused even when
signed by the right publisher, a newer one is launched; a build that names its publisher offers
nothing without the maker's signed release statement, and launches what the statement names: the
newest it names, whatever the listing's order; a halted release is offered to no script's run.
Refused setups do not stay in the work folder."""
import os
import subprocess
import unittest

from harness import (BIN, BUILD, ID_BANNER, ID_CHECK_SERVER, ID_START, DiagnosticsLog, Driver, Program, RoadTest,
                     install_scanner, publish_release, text_table, wait_until)
from https_fixture import trust_certificate
from signing import Signer, with_version
from test_signature import build_pinned

EN = text_table()
FOLDER = "/Software"
SETUP = "TALVIX_FULL_250101.exe"
CERTS = os.path.join(BUILD, "signing")


def demo_setup(version=None):
    with open(os.path.join(BIN, "DemoSetup.exe"), "rb") as f:
        data = f.read()
    return with_version(data, version) if version else data


class ReleaseCase(RoadTest):
    program_exe = None

    def setUp(self):
        super().setUp()
        self.signer = Signer.make(CERTS, "a")
        self.log = DiagnosticsLog(self.wine)

    def start(self):
        self.ftp.start()
        program = Program(self.wine)
        if self.program_exe:
            with open(self.program_exe, "rb") as src, open(program.path, "wb") as dst:
                dst.write(src.read())
        self.program = program.start()
        self.addCleanup(self.program.kill)
        self.driver = Driver(self.wine)
        self.driver.wait_main()

    def check_server(self):
        self.ftp.clear_requests()
        self.driver.ok("click", ID_CHECK_SERVER)
        self.ftp.wait_for_request("LIST " + FOLDER, 20)

    def setup_in_work_folder(self):
        return os.path.exists(os.path.join(self.work, SETUP.upper()))


class VersionTest(ReleaseCase):
    def test_older_signed_setup_is_refused_and_a_newer_one_launched(self):
        path = install_scanner(self.wine, "7.3.1.0")
        scanner = subprocess.Popen(["wine", path, "120"], env=self.wine.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: scanner.poll() is None and (scanner.kill(), scanner.wait(10)))
        self.ftp.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.2.0.0")))
        self.start()
        wait_until(lambda: self.driver("cmdline", "TALVIX.exe")[0] == 0, 30, "the stand-in scanner to run")
        self.assertEqual(self.driver.rows()[0][1], "7.3.1.0")

        self.driver.ok("click", ID_START)
        self.assertEqual(self.driver.answer_msgbox(), EN[13] + "\n" + EN[14])
        self.driver.ok("wait-enabled", 1, 10000)
        self.assertTrue(self.program.running())
        self.assertIsNone(scanner.poll())
        self.assertFalse(os.path.exists(self.record))
        self.assertFalse(self.setup_in_work_folder())
        release = self.log.event("setup.release")
        self.assertEqual((release["version"], release["installed"], release["result"]),
                         ("7.2.0.0", "7.3.1.0", "downgrade"))

        self.ftp.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.4.0.0")))
        self.check_server()
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 20000)
        self.driver.ok("click", ID_START)
        self.launch_record()
        self.assertEqual(self.program.wait(60), 0)


class StatementChoiceTest(ReleaseCase):
    """Runs of a fleet's script under the maker's statement, whose signer this PC trusts (no pins)."""

    def setUp(self):
        super().setUp()
        trust_certificate(self.wine.env, self.signer.cert)

    def run_program(self, *args):
        program = Program(self.wine, args=list(args)).start()
        self.addCleanup(program.kill)
        return program.wait(90)

    def test_newest_named_setup_is_launched_though_the_older_is_listed_first(self):
        install_scanner(self.wine, "7.3.1.0")
        self.ftp.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.3.1.0")))  # listed first
        self.ftp.add_file(FOLDER + "/TALVIX_FULL_260101.exe", self.signer.sign(demo_setup("7.4.0.0")))
        publish_release(self.ftp, FOLDER, self.signer)
        self.ftp.start()
        self.assertEqual(self.run_program("/update", "/quiet"), 0)
        self.assertIn("TALVIX_FULL_260101.EXE", self.launch_record().upper())

    def test_halted_release_is_offered_to_no_run(self):
        self.ftp.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.4.0.0")))
        publish_release(self.ftp, FOLDER, self.signer, rollout=0)
        self.ftp.start()
        self.assertEqual(self.run_program("/check"), 21)
        rollout = self.log.event("release.rollout")
        self.assertEqual((rollout["percent"], rollout["offered"]), ("0", "no"))
        self.assertIn(int(rollout["bucket"]), range(100))


class PinnedBuildTest(ReleaseCase):
    @classmethod
    def setUpClass(cls):
        cls.program_exe = build_pinned(Signer.make(CERTS, "a").fingerprint)

    def test_statement_is_required_and_names_what_is_launched(self):
        self.ftp.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("9.1.0.0")))
        self.start()
        self.driver.ok("wait-text", ID_BANNER, EN[12].split("\n")[0], 20000)
        self.assertEqual(self.driver.rows(), [])
        statement = self.log.event("release.statement")
        self.assertEqual((statement["present"], statement["required"]), ("no", "yes"))

        publish_release(self.ftp, FOLDER, self.signer)
        self.check_server()
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 20000)
        self.assertEqual(self.driver.rows()[0][2], "9.1.0.0")  # the statement's version
        self.driver.ok("click", ID_START)
        self.launch_record()
        self.assertEqual(self.program.wait(60), 0)


if __name__ == "__main__":
    unittest.main()
