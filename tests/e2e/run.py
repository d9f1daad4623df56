"""Runs every end-to-end test (tests/e2e/test_*.py) one after the other and prints
"e2e: N passed, N failed". Needs an X display (scripts/test.sh runs it under Xvfb)."""
import fcntl
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def main():
    # The program always uses port 5301: one user of it at a time on this machine.
    lock = open("/tmp/qv-port5301.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(HERE, pattern=pattern)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    passed = result.testsRun - failed - len(result.skipped)
    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, len(result.skipped)))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
