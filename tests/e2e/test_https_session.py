"""The HTTPS session (update/sources/HttpSession.cpp) under Wine, driven through QvHttpProbe.exe against the
test HTTPS server (tests/fixtures/https_server.py) whose CA the prefix trusts: whole and ranged
fetches and sizes past 4 GiB; a server that ignores the range makes the transfer logic start the file
again; answers that are not the file asked for are refused; certificates the platform refuses end
the source as a certificate failure; a stalled body is left behind within the read's bound."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import BIN, Wine
from https_fixture import HttpsFixture, trust_test_ca

SETUP = "/Software/TALVIX_FULL_250101.exe"
SIZE = 300000
WORK = r"c:\windows\temp\qv-https-session"


class HttpsSessionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = Wine()
        trust_test_ca(cls.wine.env)
        # One Wine session for every probe: a probe then starts in a fraction of a second.
        subprocess.run(["wineserver", "-p", "60"], env=cls.wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        cls.web = HttpsFixture().start()
        cls.data = cls.web.add_file(SETUP, SIZE)
        cls.source = cls.web.url("/")

    @classmethod
    def tearDownClass(cls):
        cls.web.cleanup()
        cls.wine.kill_server()

    def setUp(self):
        self.web.set_faults()
        self.web.clear_requests()
        self.tmp = tempfile.mkdtemp(prefix="qv-https-probe-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.out = os.path.join(self.tmp, "body.bin")

    def probe(self, *args):
        """QvHttpProbe's exit code and its key=value facts."""
        rc, out = self.wine.run([os.path.join(BIN, "QvHttpProbe.exe")] + [str(a) for a in args], timeout=90)
        lines = out.decode("utf-8", "replace").splitlines()
        return rc, dict(line.strip().split("=", 1) for line in lines if "=" in line)

    def get(self, *options):
        return self.probe("get", self.source, SETUP, "Z:" + self.out, *options)

    def body(self):
        with open(self.out, "rb") as f:
            return f.read()

    def test_whole_ranged_and_sized(self):
        rc, facts = self.get("--expected", SIZE)
        self.assertEqual((rc, facts["status"], facts["read"]), (0, "200", "end"), facts)
        self.assertEqual(self.body(), self.data)

        offset = 123457
        rc, facts = self.get("--offset", offset, "--expected", SIZE)
        self.assertEqual((rc, facts["status"], facts["range_ignored"]), (0, "206", "no"), facts)
        self.assertEqual(self.body(), self.data[offset:])
        self.web.wait_for_request("GET %s range=%d status=206 sent=%d" % (SETUP, offset, SIZE - offset))

        # Lengths travel as text: past 4 GiB too (a sparse file, only asked for its size).
        big = 5 * 1024 ** 3 + 7
        self.web.add_sparse_file("/Software/big.exe", big)
        rc, facts = self.probe("size", self.source, "/Software/big.exe")
        self.assertEqual((rc, facts["size"]), (0, str(big)), facts)

    def test_ignored_range_starts_the_file_again(self):
        self.web.set_faults(ignore_range=True)
        rc, facts = self.get("--offset", 1000, "--expected", SIZE)
        self.assertEqual((rc, facts["status"], facts["range_ignored"]), (0, "200", "yes"), facts)
        self.assertEqual(self.body(), self.data)

        # The transfer logic: the first line is cut, the resumed request gets the whole file, whose
        # first bytes differ from the overlap on disk, so the file starts again and arrives whole.
        self.web.set_faults(ignore_range=True, reset_after={"*": 100000}, resets=1)
        work = self.wine.unix(WORK)
        self.addCleanup(shutil.rmtree, work, True)
        rc, facts = self.probe("download", self.source, SETUP, SIZE, WORK)
        self.assertEqual(rc, 0, facts)
        self.assertEqual(facts["faults"].split(",")[-1], "offset-ignored", facts)
        with open(os.path.join(work, os.path.basename(SETUP).upper()), "rb") as f:
            self.assertEqual(f.read(), self.data)
        gets = [line for line in self.web.requests() if line.startswith("GET ")]
        self.assertRegex(gets[-2], r" range=\d+ status=200 ")
        self.assertEqual(gets[-1], "GET %s range=- status=200 sent=%d" % (SETUP, SIZE))

    def test_answers_that_are_not_the_file(self):
        with self.subTest("a range other than the one asked for"):
            self.web.set_faults(wrong_content_range=True)
            rc, facts = self.get("--offset", 1000, "--expected", SIZE)
            self.assertEqual((rc, facts["open"], facts["failure"]), (1, "refused", "refused"), facts)
        with self.subTest("another size than the statement's"):
            self.web.set_faults()
            rc, facts = self.get("--expected", SIZE + 1)
            self.assertEqual((rc, facts["open"], facts["failure"]), (1, "refused", "refused"), facts)
        with self.subTest("a 407 from the server itself, with no proxy configured"):
            self.web.set_faults(status={SETUP: 407})
            rc, facts = self.get("--expected", SIZE)
            self.assertEqual((rc, facts["status"], facts["failure"]), (1, "407", "refused"), facts)
        with self.subTest("redirects: to https followed, to http or round in circles refused"):
            moved, loop = "/Software/moved.exe", "/Software/loop.exe"
            self.web.set_faults(redirect={moved: self.web.url(SETUP), loop: loop})
            rc, facts = self.probe("get", self.source, moved, "Z:" + self.out, "--expected", SIZE)
            self.assertEqual((rc, facts["status"], facts["read"]), (0, "200", "end"), facts)
            self.assertEqual(self.body(), self.data)
            self.web.set_faults(redirect={moved: self.web.url(SETUP).replace("https:", "http:", 1), loop: loop})
            self.web.clear_requests()
            rc, facts = self.probe("get", self.source, moved, "Z:" + self.out)
            self.assertEqual((rc, facts["status"], facts["failure"]), (1, "302", "refused"), facts)
            rc, facts = self.probe("get", self.source, loop, "Z:" + self.out)
            self.assertEqual((rc, facts["failure"]), (1, "refused"), facts)
            gets = [line.split(" ")[1] for line in self.web.requests() if line.startswith("GET ")]
            self.assertEqual(gets, [moved] + [loop] * 6)  # the request and five hops
        with self.subTest("no such file"):
            rc, facts = self.probe("get", self.source, "/Software/missing.exe", "Z:" + self.out)
            self.assertEqual((rc, facts["status"], facts["failure"]), (1, "404", "refused"), facts)
        with self.subTest("a small file cut short"):
            self.web.set_faults(reset_after={"*": 50000})
            rc, facts = self.probe("small", self.source, SETUP, SIZE)
            self.assertEqual((rc, facts["small"], facts["bytes"]), (1, "no", "0"), facts)

    def test_refused_certificates(self):
        codes = {"expired": {"12037"}, "wrong_host": {"12038"}, "untrusted": {"12045", "12057"}}
        for kind, expected in codes.items():
            with self.subTest(kind):
                self.web.set_faults(certificate=kind)
                rc, facts = self.get()
                self.assertEqual((rc, facts["open"], facts["failure"]), (1, "refused", "certificate"), facts)
                self.assertIn(facts["error"], expected)
        self.assertEqual(self.web.requests(), [])

    def test_stalled_body_is_left_behind(self):
        self.web.set_faults(stall_after={"*": 100000})
        began = time.monotonic()
        rc, facts = self.get("--read-timeout", 2000)
        self.assertEqual((rc, facts["read"]), (1, "timed_out"), facts)
        self.assertLessEqual(int(facts["bytes"]), 100000)
        self.assertEqual(self.body(), self.data[:int(facts["bytes"])])
        # Well before the platform's own time limits (15 s), though a read is still out.
        self.assertLess(time.monotonic() - began, 10)


if __name__ == "__main__":
    unittest.main()
