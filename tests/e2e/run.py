"""Runs every end-to-end test (tests/e2e/test_*.py) one after the other and prints
"e2e: N passed, N failed, N skipped"; exits 1 when any failed or none ran. Needs an X display
(scripts/test.sh runs it under Xvfb).

    run.py [PATTERN] [--record FILE]

With --record, FILE gets a line "listed ID" for every test before the first one runs, and
"passed|failed|skipped ID" as each one ends, so a run cut short still shows what it left undone
(scripts/count_tests.py counts it)."""
import fcntl
import os
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def private_network():
    """Runs the tests again in a network namespace of their own, whose loopback carries port 5301
    for them alone; returns the exit code, or None where no namespace can be made."""
    if os.environ.get("QV_E2E_NETNS") or os.geteuid() != 0 or not (shutil.which("unshare") and shutil.which("ip")):
        return None
    probe = subprocess.run(["unshare", "-n", "ip", "link", "set", "lo", "up"], stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        return None
    env = dict(os.environ, QV_E2E_NETNS="1")
    script = 'ip link set lo up && exec "$0" "$@"'
    return subprocess.call(["unshare", "-n", "sh", "-c", script, sys.executable] + sys.argv, env=env)


def tests_of(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from tests_of(item)
        else:
            yield item


class TimedResult(unittest.TextTestResult):
    """Says after each test how long it took, so the slow ones can be found in the log."""
    def startTest(self, test):
        self.began = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        self.stream.writeln("  (%s: %.0f s)" % (test.id().rsplit(".", 1)[-1], time.monotonic() - self.began))


def recording_result(path):
    """A result class that appends each test's verdict to PATH as the test ends."""
    class RecordingResult(TimedResult):
        def startTest(self, test):
            self.before = (len(self.failures) + len(self.errors) + len(self.unexpectedSuccesses), len(self.skipped))
            super().startTest(test)

        def stopTest(self, test):
            super().stopTest(test)
            bad, skipped = self.before
            verdict = ("failed" if len(self.failures) + len(self.errors) + len(self.unexpectedSuccesses) > bad else
                       "skipped" if len(self.skipped) > skipped else "passed")
            with open(path, "a", encoding="utf-8") as f:
                f.write("%s %s\n" % (verdict, test.id()))
    return RecordingResult


def main():
    code = private_network()
    if code is not None:
        return code
    # The program always uses port 5301: without a namespace of our own, one user of it at a time.
    lock = None
    if not os.environ.get("QV_E2E_NETNS"):
        lock = open("/tmp/qv-port5301.lock", "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
    args = sys.argv[1:]
    record = None
    if "--record" in args:
        at = args.index("--record")
        record = args[at + 1]
        del args[at:at + 2]
    pattern = args[0] if args else "test_*.py"
    suite = unittest.defaultTestLoader.discover(HERE, pattern=pattern)
    total = suite.countTestCases()
    runner = unittest.TextTestRunner(verbosity=2, resultclass=TimedResult)
    if record:
        with open(record, "w", encoding="utf-8") as f:
            f.writelines("listed %s\n" % t.id() for t in tests_of(suite))
        runner.resultclass = recording_result(record)
    result = runner.run(suite)
    # A test counts once however many of its sub-tests or clean-ups failed; the tests that a failed
    # class or module set-up kept from running count as failed.
    failed_tests, failed_setups = set(), set()
    for test in [t for t, _ in result.failures + result.errors] + list(result.unexpectedSuccesses):
        test = getattr(test, "test_case", test)
        (failed_tests if isinstance(test, unittest.TestCase) else failed_setups).add(test.id())
    passed = result.testsRun - len(failed_tests) - len(result.skipped)
    failed = len(failed_tests) + max(total - result.testsRun, len(failed_setups))
    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, len(result.skipped)))
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
