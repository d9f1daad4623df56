"""The Authenticode check before the setup program is launched, in the real program: a setup whose
signature does not match its bytes is never launched; without pinned publishers a setup signed by a
publisher the platform trusts is launched and an unsigned one is refused (Wine trusts a self-signed
certificate); a build pinned to a certificate launches only setups that were signed with that
certificate. Certificates are made at test time (tests/fixtures/signing.py)."""
import fcntl
import os
import shutil
import subprocess
import unittest

from harness import (BIN, BUILD, ID_BANNER, ID_CHECK_SERVER, ID_START, PRESET, ROOT, Driver, Program, RoadTest,
                     install_scanner, publish_release, text_table, wait_until)
from signing import Signer, broken_signatures, change_one_byte

EN = text_table()
SETUP = "TALVIX_FULL_250101.exe"
REMOTE = "/Software/" + SETUP
CERTS = os.path.join(BUILD, "signing")
PINNED_BUILD = os.path.join(BUILD, PRESET + "-pinned")


def demo_setup():
    with open(os.path.join(BIN, "DemoSetup.exe"), "rb") as f:
        return f.read()


def build_pinned(fingerprint):
    """The program of the build under test, built again with QV_SETUP_SIGNERS pinned to the
    fingerprint (incremental; one build at a time when tests run side by side). It differs from it
    in the pins' one file, so with ccache every other object comes from the win32 build's."""
    env = dict(os.environ)
    if shutil.which("ccache"):
        env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
        env.setdefault("CMAKE_C_COMPILER_LAUNCHER", "ccache")
        env.setdefault("CCACHE_BASEDIR", ROOT)
        env.setdefault("CCACHE_NOHASHDIR", "1")  # the same command in another build tree hits
    os.makedirs(PINNED_BUILD, exist_ok=True)
    with open(PINNED_BUILD + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for step in (["cmake", "--preset", PRESET, "-B", PINNED_BUILD, "-DQV_BUILD_TESTS=ON",
                      "-DQV_SETUP_SIGNERS=" + fingerprint],
                     ["nice", "-n", "10", "cmake", "--build", PINNED_BUILD, "--target", "QuorvelDownloader"]):
            subprocess.run(step, cwd=ROOT, env=env, check=True, stdout=subprocess.DEVNULL, timeout=900)
    return os.path.join(PINNED_BUILD, "QuorvelDownloader.exe")


class SignatureCase(RoadTest):
    program_exe = None  # None: the program of the default build

    def setUp(self):
        super().setUp()
        self.signer = Signer.make(CERTS, "a")

    def serve(self, content):
        """Serves the content; a build that names its publisher also gets the maker's statement for it."""
        self.ftp.add_file(REMOTE, content)
        if self.program_exe:
            publish_release(self.ftp, "/Software", self.signer)

    def start(self, content):
        self.serve(content)
        self.ftp.start()
        program = Program(self.wine)
        if self.program_exe:
            shutil.copy(self.program_exe, program.path)
        self.program = program.start()
        self.addCleanup(self.program.kill)
        self.driver = Driver(self.wine)
        self.driver.wait_main()
        self.assertEqual(self.driver.rows()[0][3], EN[0])

    def assert_launched(self, content):
        self.start(content)
        self.driver.ok("click", ID_START)
        self.launch_record()
        self.assertEqual(self.program.wait(60), 0)

    def assert_refused(self, content, scanner=None):
        """Start downloads the content, then the hand-off refuses it: notice 13/14, nothing launched or
        ended, the window stays open and usable."""
        self.driver.ok("click", ID_START)
        self.assertEqual(self.driver.answer_msgbox(), EN[13] + "\n" + EN[14])
        self.driver.ok("wait-enabled", 1, 10000)
        self.assertEqual(self.driver.text(ID_BANNER), EN[13])
        self.assertTrue(self.program.running())
        self.assertFalse(os.path.exists(self.record))
        if scanner is not None:
            self.assertIsNone(scanner.poll())
        # The file arrived whole and the check refused it; a refused setup does not stay behind.
        self.assertTrue(any(r.startswith("RETR") and SETUP in r for r in self.ftp.requests()))
        self.assertFalse(os.path.exists(os.path.join(self.work, SETUP.upper())))

    def check_server_offering(self, content):
        """Serves other content and lets Check Server offer it again."""
        self.serve(content)
        self.ftp.clear_requests()
        self.driver.ok("click", ID_CHECK_SERVER)
        self.ftp.wait_for_request("LIST /Software", 20)
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 20000)
        self.assertEqual(self.driver.rows()[0][3], EN[0])

    def start_scanner(self):
        path = install_scanner(self.wine)
        scanner = subprocess.Popen(["wine", path, "120"], env=self.wine.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: scanner.poll() is None and (scanner.kill(), scanner.wait(10)))
        wait_until(lambda: self.driver("cmdline", "TALVIX.exe")[0] == 0, 30, "the stand-in scanner to run")
        return scanner


class DefaultBuildTest(SignatureCase):
    def test_signed_setup_is_launched(self):
        self.assert_launched(self.signer.sign(demo_setup()))

    def test_unsigned_setup_is_refused(self):
        unsigned = demo_setup()
        self.start(unsigned)
        scanner = self.start_scanner()
        self.assert_refused(unsigned, scanner)

    def test_setup_whose_signature_does_not_match_is_refused(self):
        signed = self.signer.sign(demo_setup())
        changed = change_one_byte(signed)
        self.start(changed)
        scanner = self.start_scanner()
        self.assert_refused(changed, scanner)
        for what, broken in broken_signatures(signed):
            with self.subTest(what):
                self.check_server_offering(broken)
                self.assert_refused(broken, scanner)


class PinnedBuildTest(SignatureCase):
    @classmethod
    def setUpClass(cls):
        cls.program_exe = build_pinned(Signer.make(CERTS, "a").fingerprint)

    def test_setup_signed_by_the_pinned_certificate_is_launched(self):
        self.assert_launched(self.signer.sign(demo_setup()))

    def test_unsigned_setup_and_another_signer_are_refused(self):
        unsigned = demo_setup()
        self.start(unsigned)
        self.assert_refused(unsigned)
        other = Signer.make(CERTS, "b").sign(demo_setup())
        self.check_server_offering(other)
        self.assert_refused(other)


if __name__ == "__main__":
    unittest.main()
