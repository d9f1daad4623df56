"""Fault soak of the download road: many attempts against a faulty server, answered as a user would.

One program makes a long run of failed attempts under faults chosen from a fixed seed (the data
connection dropped at a random byte, a file shorter than listed, the file removed after the listing,
a refused login, a silent server); after each the user answers the notice, presses Check Server and
starts again. A dropped connection is recovered: the download goes on from the bytes already on
disk and arrives whole, and only its content (not a program) ends the road with a notice. A throttled, successful download ends the run (the program hands off and exits); two
short runs after it, each ending in a success, exercise the restart. After every attempt the test
checks that the program answers and is usable, that the row and the bytes on disk (success) or the
notice and an empty work folder (failure) are right, that nothing was written outside the work
folder, and that the process's GDI objects, windows and threads do not grow. The figures are printed.

QV_SOAK_SEED picks another sequence; the run is bounded in attempts and in time.
"""
import os
import random
import time
import unittest

from harness import BIN, ID_BANNER, ID_CHECK_SERVER, ID_START, Driver, FtpFixture, text_table, wait_until
from hardening import PrefixWatch, demo_setup, log, prepare_program

EN = text_table()
SEED = int(os.environ.get("QV_SOAK_SEED", "20250101"))
SETUP = "TALVIX_FULL_250101.exe"
REMOTE = "/Software/" + SETUP
LOCAL = SETUP.upper()
BLOCK = 30720

# Failures of the long run, and the runs that follow it (failures before each one's success).
LONG_RUN_FAILURES = 30
SHORT_RUN_FAILURES = 2
SHORT_RUNS = 2
SILENT = 2  # each one waits out the program's connection bound (about 15 s)
TIME_BUDGET_S = 8 * 60
# Resources are compared from this attempt of the long run on (the first ones create what lasts).
WARM_UP_ATTEMPTS = 5

FAILURES = ("drop", "short", "removed", "refused", "silent")
NOTICES = {
    "drop": EN[13] + "\n" + EN[14],  # recovered; the file then is no program to start
    "short": EN[19] + "\n" + EN[10],
    "removed": EN[16],
    "refused": EN[15] + "\n" + EN[14],
    "silent": EN[15] + "\n" + EN[14],
}


def plan(seed):
    """The attempts of every run: lists of (kind, parameters), each run's last one a success."""
    rng = random.Random(seed)

    def size():
        # Now and then an exact number of blocks, which ends without a last partial block.
        return BLOCK * rng.randint(3, 12) if rng.random() < 0.25 else rng.randint(60000, 400000)

    def failure(kind):
        n = size()
        if kind == "drop":
            return kind, {"size": n, "drop_after": rng.randrange(0, n)}
        if kind == "short":
            return kind, {"size": n, "listed": n + rng.randint(1, 3 * BLOCK)}
        return kind, {"size": n}

    def success():
        return "throttled", {"padding": rng.randint(0, 300000), "rate": rng.choice([500000, 1000000, 2000000])}

    total = LONG_RUN_FAILURES + SHORT_RUNS * SHORT_RUN_FAILURES
    kinds = [k for k in FAILURES for _ in range(SILENT if k == "silent" else 2)]  # every kind, twice
    kinds += [rng.choice([k for k in FAILURES if k != "silent"]) for _ in range(total - len(kinds))]
    rng.shuffle(kinds)
    runs, at = [], 0
    for count in [LONG_RUN_FAILURES] + [SHORT_RUN_FAILURES] * SHORT_RUNS:
        runs.append([failure(k) for k in kinds[at:at + count]] + [success()])
        at += count
    return runs


class SoakTest(unittest.TestCase):
    def setUp(self):
        self.ftp = FtpFixture(port=5301)
        self.addCleanup(self.ftp.cleanup)
        self.ftp.start()
        self.wine, self.program, self.work, self.record = prepare_program(self)
        self.driver = Driver(self.wine)
        self.figures = {"attempts": 0, "successes": 0, "notices": 0, "leaks": 0}
        self.figures.update({k: 0 for k in FAILURES + ("throttled",)})
        self.deadline = time.monotonic() + TIME_BUDGET_S

    # --- the server

    def serve(self, kind, params):
        """Puts this attempt's file on the server and the faults that act on the listing."""
        content = demo_setup(params["padding"]) if kind == "throttled" else params["size"]
        self.served = self.ftp.add_file(REMOTE, content)
        faults = {}
        if kind == "short":
            faults["size_override"] = {REMOTE: params["listed"]}
        elif kind == "removed":
            faults["remove_after_list"] = [REMOTE]
        self.ftp.set_faults(**faults)

    def arm(self, kind, params):
        """The faults that act on the download itself, set once the server check has listed."""
        if kind == "drop":
            self.ftp.update_faults(drop_after={REMOTE: params["drop_after"]}, drops=1)
        elif kind == "refused":
            self.ftp.update_faults(refuse_login=True)
        elif kind == "silent":
            self.ftp.update_faults(silent=True)
        elif kind == "throttled":
            self.ftp.update_faults(rate=params["rate"])

    # --- the program

    def resources(self):
        rc, out = self.wine.run([os.path.join(BIN, "QvProbe.exe"), "resources"], timeout=60)
        self.assertEqual(rc, 0, "QvProbe resources failed: %r" % out)
        values = dict(pair.split("=") for pair in out.decode().split())
        values = {k: int(v) for k, v in values.items()}
        # Windows counts through GetGuiResources; Wine answers 0 there and is counted directly.
        return {"gdi": values["gdi_api"] or values["gdi"], "user": values["user_api"] or values["windows"],
                "threads": values["threads"]}

    def describe_state(self):
        """What the program shows, for the log of a failed attempt."""
        if not self.program.running():
            log("soak: the program has ended with exit code %r" % self.program.process.returncode)
            return
        _, windows = self.wine.run([os.path.join(BIN, "QvProbe.exe"), "windows"], timeout=60)
        log("soak: windows:\n" + windows.decode("utf-8", "replace"))
        log("soak: banner %r, rows %r, enabled %r" % (self.driver("text", ID_BANNER), self.driver("list"),
                                                      self.driver("enabled")))
        log("soak: server requests %r" % self.ftp.requests())

    def wait_offered(self):
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 30000)
        rows = self.driver.rows()
        self.assertEqual(len(rows), 1, rows)
        self.assertEqual(rows[0][2:], ["250101", EN[0]])

    def assert_nothing_written_outside(self, where):
        self.assertEqual(self.prefix.changes(), [], "written outside the work folder (%s)" % where)

    def failed_attempt(self, number, kind, params):
        started = time.monotonic()
        self.driver.ok("click", ID_START)
        # A silent server holds the connection for the program's bound before the notice.
        text = self.driver.answer_msgbox(60000 if kind == "silent" else 30000)
        log("soak: notice after %.1f s: %r" % (time.monotonic() - started, text))
        self.figures["notices"] += 1
        expected = NOTICES[kind]
        where = "attempt %d (%s %r)" % (number, kind, params)
        self.assertEqual(text, expected, where)
        self.driver.ok("wait-enabled", 1, 10000)
        self.assertEqual(self.driver.text(ID_BANNER), expected.split("\n")[0], where)
        requests = self.ftp.requests()
        if kind == "drop":
            # The broken transfer went on over a new connection from an offset, and that connection
            # served the rest of the file to its end; the unsigned file was then refused at the
            # hand-off and removed.
            self.assertGreaterEqual(requests.count("RETR " + REMOTE), 2, where)
            rests = [int(r.split()[1]) for r in requests if r.startswith("REST ")]
            sent = [int(r.rsplit(" ", 1)[1]) for r in requests if r.startswith("SENT " + REMOTE + " ")]
            self.assertTrue(rests and sent, where)
            self.assertEqual(rests[-1] + sent[-1], len(self.served), where)
        self.assertEqual(os.listdir(self.work) if os.path.isdir(self.work) else [], [],
                         "file left after " + where)
        if kind in ("drop", "short", "removed"):
            self.assertIn("RETR " + REMOTE, requests, where)
        if kind == "refused":
            self.assertIn("LOGIN-FAILED autoupdater", requests, where)

    def successful_attempt(self, number, params):
        where = "attempt %d (throttled %r)" % (number, params)
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", EN[2], 60000)
        self.assertEqual(self.program.wait(60), 0, where)
        wait_until(lambda: os.path.exists(self.record), 30, "the setup program to start")
        with open(os.path.join(self.work, LOCAL), "rb") as f:
            self.assertTrue(f.read() == self.served, "downloaded bytes differ from the server's: " + where)
        self.assertEqual(os.listdir(self.work), [LOCAL], where)
        # The setup closes itself; the next check must be able to empty the work folder.
        wait_until(lambda: self.driver("cmdline", LOCAL)[0] != 0, 30, "the setup program to end")
        os.remove(self.record)
        self.figures["successes"] += 1

    def test_download_attempts_under_faults(self):
        started = time.monotonic()
        runs = plan(SEED)
        samples = []  # resources after each failure of the long run
        self.prefix = PrefixWatch(self.wine)
        number = 0
        for run_index, attempts in enumerate(runs):
            for index, (kind, params) in enumerate(attempts):
                self.assertLess(time.monotonic(), self.deadline, "soak over its time budget at attempt %d" % number)
                number += 1
                self.serve(kind, params)
                if index == 0:
                    self.program.start()
                    self.driver.wait_main()
                else:
                    self.driver.ok("click", ID_CHECK_SERVER)
                self.wait_offered()
                self.ftp.clear_requests()
                self.arm(kind, params)
                self.figures["attempts"] += 1
                self.figures[kind] += 1
                log("soak: attempt %d, run %d: %s %r" % (number, run_index + 1, kind, params))
                try:
                    if kind == "throttled":
                        self.successful_attempt(number, params)
                    else:
                        self.failed_attempt(number, kind, params)
                        self.assertTrue(self.program.running())
                        if run_index == 0:
                            samples.append(self.resources())
                            log("soak: resources %r" % samples[-1])
                except AssertionError:
                    self.describe_state()
                    raise
                self.ftp.set_faults()
                self.assert_nothing_written_outside("attempt %d, %s" % (number, kind))

        warm, last = samples[WARM_UP_ATTEMPTS - 1], samples[-1]
        grown = {k: (warm[k], last[k]) for k in warm if last[k] > warm[k]}
        self.figures["leaks"] = len(grown)
        print("\nsoak (seed %d, %.0f s): %d attempts in %d runs, %d in one program; faults: %s; %d successes, "
              "%d notices; resources after attempt %d %s, after attempt %d %s; leaks found: %d %s"
              % (SEED, time.monotonic() - started, self.figures["attempts"], len(runs), len(runs[0]),
                 ", ".join("%s %d" % (k, self.figures[k]) for k in FAILURES + ("throttled",)),
                 self.figures["successes"], self.figures["notices"], WARM_UP_ATTEMPTS, warm, len(samples), last,
                 len(grown), grown or ""))
        self.assertEqual(grown, {}, "process resources grew from attempt %d to %d" % (WARM_UP_ATTEMPTS, len(samples)))


if __name__ == "__main__":
    unittest.main()
