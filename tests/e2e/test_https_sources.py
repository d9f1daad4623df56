"""The road from HTTPS sources and a local folder: the maker's signed statement says what to fetch;
the real program runs `/update /quiet` or `/check` against a local HTTPS server whose CA, and the
signing certificate, the prefix trusts: to the launch, through the system's proxy (its log shows the
CONNECT), with a reset mid-file resumed by a Range request, sources tried in order (one down, one with
an untrusted certificate, then the FTP server), a source gone for good mid-file handing the file to
the next that holds it, a proxy that asks for credentials in a quiet run, and `/source FOLDER` copied
into the work folder and launched from there."""
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import (BUILD, ID_BANNER, ID_EXIT, DiagnosticsLog, Driver, Program, RoadTest, WORK_FOLDER,
                     demo_setup_signed, publish_release, text_table, wait_until)
from https_fixture import HttpsFixture, trust_certificate, trust_test_ca
from proxy_fixture import ProxyFixture, set_system_proxy
from signing import Signer

SETUP = "/Software/TALVIX_FULL_250101.exe"
EN_BANNER_OFFERED = text_table()[11].split("\n")[0]


class HttpsSourcesTest(RoadTest):
    @classmethod
    def setUpClass(cls):
        cls.signer = Signer.make(os.path.join(BUILD, "signing"), "a")
        cls.setup_bytes = demo_setup_signed(200000)

    def setUp(self):
        super().setUp()
        # Without pins the statement's signer must chain to a root the PC trusts, as on Windows.
        trust_test_ca(self.wine.env)
        trust_certificate(self.wine.env, self.signer.cert)
        self.web = self.serve_release(HttpsFixture())
        self.log = DiagnosticsLog(self.wine)

    def serve_release(self, web):
        self.addCleanup(web.cleanup)
        web.add_file(SETUP, self.setup_bytes)
        publish_release(web, "/Software", self.signer)
        return web.start()

    def run_program(self, sources, *args, timeout=120, env=None):
        program = Program(self.wine, args=list(args), extra_env=dict(env or {}, QV_TEST_UPDATE_SOURCES=sources)).start()
        self.addCleanup(program.kill)
        return program.wait(timeout)

    def use_proxy(self, address):
        """Points the prefix's system proxy at `address` until the test ends."""
        self.addCleanup(set_system_proxy(self.wine, address))

    def test_road_over_https_to_the_launch_resuming_a_reset_with_range_and_through_a_proxy(self):
        self.web.set_faults(reset_after={"*": 90000}, resets=1)
        self.assertEqual(self.run_program(self.web.url("/"), "/update", "/quiet"), 0)
        record = self.launch_record()
        self.assertIn(WORK_FOLDER.upper(), record.upper())
        served = self.web.requests()
        self.assertIn("GET /Software/release.txt range=- status=200", " ".join(served))
        self.assertTrue(any(r.startswith("GET " + SETUP + " range=") and "status=206" in r for r in served), served)

        proxy = ProxyFixture()
        self.addCleanup(proxy.cleanup)
        proxy.start()
        self.use_proxy(proxy.address)
        self.web.set_faults()
        self.assertEqual(self.run_program(self.web.url("/"), "/check"), 10)
        self.assertTrue(any(r.startswith("CONNECT localhost:%d 200" % self.web.port) for r in proxy.requests()),
                        proxy.requests())

    def test_sources_in_order_and_a_proxy_that_wants_credentials_in_a_quiet_run(self):
        untrusted = self.serve_release(HttpsFixture(certificate="untrusted"))
        self.ftp.add_file(SETUP, self.setup_bytes)
        self.ftp.start()
        sources = "https://localhost:1/;%s;ftp://127.0.0.1:5301" % untrusted.url("/")
        self.assertEqual(self.run_program(sources, "/check"), 10)
        skipped = [line for line in self.log.lines() if " source.skipped " in line]
        self.assertIn("reason=unreachable", skipped[0])
        self.assertIn("reason=certificate-refused", skipped[1])
        self.assertIn("ftp://127.0.0.1:5301", self.log.event("source.used")["source"])

        proxy = ProxyFixture(user="qv", password="s3cret")
        self.addCleanup(proxy.cleanup)
        proxy.start()
        self.use_proxy(proxy.address)
        self.assertEqual(self.run_program(self.web.url("/"), "/update", "/quiet"), 20)
        self.assertTrue(any(r.startswith("CONNECT localhost:%d 407" % self.web.port) for r in proxy.requests()))
        self.assertFalse(os.path.exists(self.record))

    def test_a_source_gone_for_good_mid_file_hands_it_to_the_next_that_holds_it(self):
        # The HTTPS source stops for good 100000 bytes in; the FTP server after it holds the same file.
        self.web.set_faults(stall_after={SETUP: 100000})
        self.ftp.add_file(SETUP, self.setup_bytes)
        publish_release(self.ftp, "/Software", self.signer)
        self.ftp.start()
        sources = "%s;ftp://127.0.0.1:5301" % self.web.url("/")
        self.assertEqual(self.run_program(sources, "/update", "/quiet", env={"QV_TEST_LINE_BOUNDS": "1500,60000,100"}), 0)
        self.assertIn(WORK_FOLDER.upper(), self.launch_record().upper())
        self.assertIn("https://", self.log.event("source.used")["source"])
        self.assertEqual(self.log.event("source.next")["holds_file"], "yes")
        # The FTP server was asked for the rest only: the bytes from the HTTPS source stayed.
        served = self.ftp.requests()
        rests = [int(r.split()[1]) for r in served if r.startswith("REST ")]
        self.assertTrue(rests and 0 < rests[0] <= 100000, served)
        sent = sum(int(r.split()[2]) for r in served if r.startswith("SENT " + SETUP))
        self.assertEqual(sent, len(self.setup_bytes) - rests[0], served)

    def test_window_asks_for_the_proxys_credentials_once_and_goes_on(self):
        proxy = ProxyFixture(user="qv", password="s3cret")
        self.addCleanup(proxy.cleanup)
        proxy.start()
        self.use_proxy(proxy.address)
        program = Program(self.wine, extra_env={"QV_TEST_UPDATE_SOURCES": self.web.url("/")}).start()
        self.addCleanup(program.kill)
        # The platform's prompt: user name, Tab, password, Enter, typed as a person would.
        prompt = wait_until(lambda: subprocess.run(["xdotool", "search", "--name", "Proxy server"],
                                                   capture_output=True, timeout=30).stdout.split(), 60,
                            "the proxy credentials prompt")[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", prompt], timeout=30)
        subprocess.run(["xdotool", "type", "--delay", "50", "qv"], check=True, timeout=30)
        subprocess.run(["xdotool", "key", "Tab"], check=True, timeout=30)
        subprocess.run(["xdotool", "type", "--delay", "50", "s3cret"], check=True, timeout=30)
        subprocess.run(["xdotool", "key", "Return"], check=True, timeout=30)
        driver = Driver(self.wine)
        driver.wait_main()
        driver.ok("wait-text", ID_BANNER, EN_BANNER_OFFERED, 30000)
        requests = proxy.requests()
        self.assertTrue(any(r.startswith("CONNECT localhost:%d 407" % self.web.port) for r in requests), requests)
        self.assertIn("CONNECT localhost:%d 200 as=qv" % self.web.port, requests)
        asked = [line for line in self.log.lines() if " source.proxy-credentials " in line]
        self.assertEqual(len(asked), 1)
        self.assertIn(" proxy=%s " % proxy.address, asked[0] + " ")  # the prompt named the proxy
        driver.ok("click", ID_EXIT)
        self.assertEqual(program.wait(30), 18)

    def test_source_folder_is_checked_copied_and_launched_from_the_work_folder(self):
        stick = tempfile.mkdtemp(prefix="qv-stick-")
        self.addCleanup(shutil.rmtree, stick, True)
        with open(os.path.join(stick, os.path.basename(SETUP)), "wb") as f:
            f.write(self.setup_bytes)

        class Folder:  # what publish_release needs of a server: where its folder lies
            path_of = staticmethod(lambda _: stick)
        publish_release(Folder, "/Software", self.signer, edition="Software")
        # No server at all: the stick alone.
        self.assertEqual(self.run_program("https://localhost:1/", "/update", "/quiet", "/source", "Z:" + stick), 0)
        record = self.launch_record()
        self.assertIn(WORK_FOLDER.upper(), record.upper())
        self.assertIn("folder:", self.log.event("source.used")["source"])


if __name__ == "__main__":
    unittest.main()
