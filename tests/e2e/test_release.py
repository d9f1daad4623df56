"""The maker's current setup: an older setup program than the installed scanner is refused even when
signed by the right publisher, a newer one is launched; a build that names its publisher offers
nothing without the maker's signed release statement, and launches what the statement names: the
newest it names, whatever the listing's order; a halted release is offered to no script's run; a
source whose listing drops the newest setup passes to the next, and without one that offers it the
run fails; a PC whose clock is a year behind or ahead is told its date is wrong. Refused setups do not
stay in the work folder."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (BIN, BUILD, ID_BANNER, ID_CHECK_SERVER, ID_EXIT, ID_START, DiagnosticsLog, Driver, FtpFixture,
                     Program, RoadTest, install_scanner, publish_release, text_table, wait_until)
from https_fixture import TLS, HttpsFixture, trust_certificate, trust_test_ca
from signing import Signer, future_signer, with_version
from test_signature import build_pinned

EN = text_table()
# Texts of the table by number (resources/TextTable.txt, from 0).
TRY_AGAIN, RELEASE_NOT_OFFERED, WRONG_DATE, SET_DATE = 14, 32, 33, 34
YEAR = 365 * 86400
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

    def run_program(self, *args, sources=None):
        env = {"QV_TEST_UPDATE_SOURCES": sources} if sources else None
        program = Program(self.wine, args=list(args), extra_env=env).start()
        self.addCleanup(program.kill)
        return program.wait(90)

    def notice(self):
        shown = self.log.event("notice")
        return int(shown["text"]), int(shown["second"])

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


    def test_a_listing_without_the_newest_setup_passes_to_the_next_source_or_fails(self):
        # The installed scanner has the older setup's version: without the newest, "already current".
        install_scanner(self.wine, "7.3.1.0")
        newest = FOLDER + "/TALVIX_FULL_260101.exe"
        second = FtpFixture(port=0)
        self.addCleanup(second.cleanup)
        # One statement on both, as current as any an earlier case left this PC's record of.
        serial = int(time.strftime("%Y%m%d%H%M%S", time.gmtime()))
        for server in (self.ftp, second):
            server.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.3.1.0")))
            server.add_file(newest, self.signer.sign(demo_setup("7.4.0.0")))
            publish_release(server, FOLDER, self.signer, serial=serial)
        os.remove(self.ftp.path_of(newest))
        self.ftp.start()
        second.start()
        sources = "ftp://127.0.0.1:5301;ftp://127.0.0.1:%d" % second.port
        self.assertEqual(self.run_program("/update", "/quiet", sources=sources), 0)
        self.assertIn("TALVIX_FULL_260101.EXE", self.launch_record().upper())
        self.assertEqual(self.log.event("release.withheld")["why"], "not-listed")
        self.assertIn(":%d" % second.port, self.log.event("source.used")["source"])

        # The second lists it at another size: no source offers the release, and the window says so.
        self.remove_record()
        second.add_file(newest, b"x" * 1000)
        self.log = DiagnosticsLog(self.wine)
        self.assertEqual(self.run_program("/update", "/passive", sources=sources), 22)
        self.assertEqual(self.notice(), (RELEASE_NOT_OFFERED, TRY_AGAIN))
        withheld = [line for line in self.log.lines() if " release.withheld " in line]
        self.assertEqual(len(withheld), 2)
        self.assertIn("why=size-differs", withheld[1])
        self.assertFalse(os.path.exists(self.record))

    def test_a_clock_a_year_behind_is_named(self):
        # What a PC a year behind sees of the maker's current statement: signed a year ahead, by a
        # certificate valid only from then.
        trust_test_ca(self.wine.env)
        folder = tempfile.mkdtemp(prefix="qv-future-")
        self.addCleanup(shutil.rmtree, folder, True)
        signer = future_signer(folder, os.path.join(TLS, "ca.pem"), os.path.join(TLS, "ca.key"), 365)
        self.ftp.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.4.0.0")))
        publish_release(self.ftp, FOLDER, signer, now=time.time() + YEAR, serial=1)
        self.ftp.start()
        self.assertEqual(self.run_program("/update", "/passive"), 23)
        self.assertEqual(self.notice(), (WRONG_DATE, SET_DATE))
        clock = self.log.event("release.clock")
        self.assertEqual(clock["verdict"], "behind")
        self.assertLess(clock["pc_time"], clock["signed"])
        self.assertEqual(self.log.event("release.statement")["verdict"], "signer-refused")

    def test_a_clock_a_year_ahead_is_named_by_the_https_servers_date(self):
        # The statement expired a year before the PC's date; the server's date is before its expiry.
        trust_test_ca(self.wine.env)
        web = HttpsFixture(date_offset=-YEAR)
        self.addCleanup(web.cleanup)
        web.add_file(FOLDER + "/" + SETUP, self.signer.sign(demo_setup("7.4.0.0")))
        publish_release(web, FOLDER, self.signer, now=time.time() - YEAR - 30 * 86400, serial=1)
        web.start()
        program = Program(self.wine, extra_env={"QV_TEST_UPDATE_SOURCES": web.url("/")}).start()
        self.addCleanup(program.kill)
        driver = Driver(self.wine)
        shown = driver.answer_msgbox(60000)  # the start-up's check tells it before the window shows
        self.assertTrue(shown.startswith(EN[WRONG_DATE].replace("%s", time.strftime("%Y-%m-%d "))), shown)
        self.assertTrue(shown.endswith("\n" + EN[SET_DATE]), shown)
        clock = self.log.event("release.clock")
        self.assertEqual(clock["verdict"], "ahead")
        self.assertLess(clock["server_date"], clock["expires"])
        self.assertLess(clock["expires"], clock["pc_time"])
        driver.wait_main()
        driver.ok("click", ID_EXIT)
        self.assertEqual(program.wait(30), 18)


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
