"""Runs every end-to-end test (tests/e2e/test_*.py) one after the other and prints
"e2e: N passed, N failed, N skipped"; exits 1 when any failed or none ran. Needs an X display
(scripts/test.sh runs it under Xvfb)."""
import fcntl
import os
import shutil
import subprocess
import sys
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


def main():
    code = private_network()
    if code is not None:
        return code
    # The program always uses port 5301: without a namespace of our own, one user of it at a time.
    lock = None
    if not os.environ.get("QV_E2E_NETNS"):
        lock = open("/tmp/qv-port5301.lock", "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(HERE, pattern=pattern)
    total = suite.countTestCases()
    result = unittest.TextTestRunner(verbosity=2).run(suite)
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
