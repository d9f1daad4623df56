"""One lane of run.py: runs the units of end-to-end cases it is handed, one after the other.

    worker.py PATTERN RECORD

run.py starts it in the lane's network namespace with the lane's Wine prefix (WINEPREFIX) and
display (DISPLAY). It reads a unit per line on stdin (a JSON list of case ids, from the cases that
PATTERN discovers) until stdin ends, appends each case's verdict to RECORD as the case ends, and
answers every unit with one JSON line on stdout: its case times, the time of the whole unit, the
failures outside any case (a class or module fixture) and what the unit printed. Everything else the
lane prints (the programs it starts, the live log) goes to stderr.
"""
import fcntl
import io
import json
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))


def tests_of(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from tests_of(item)
        else:
            yield item


def discover(pattern):
    sys.path.insert(0, HERE)
    return list(tests_of(unittest.defaultTestLoader.discover(HERE, pattern=pattern)))


class Tee(io.TextIOBase):
    """Writes to a stream and keeps a copy."""

    def __init__(self, stream):
        self.stream = stream
        self.copy = io.StringIO()

    def write(self, text):
        self.stream.write(text)
        self.stream.flush()
        return self.copy.write(text)

    def flush(self):
        self.stream.flush()


def append_line(path, line):
    with open(path, "a", encoding="utf-8") as f:
        fcntl.flock(f, fcntl.LOCK_EX)
        f.write(line + "\n")


class RecordingResult(unittest.TextTestResult):
    """Appends each case's verdict to the record as the case ends, and keeps how long it took."""

    def __init__(self, stream, record):
        super().__init__(stream, descriptions=True, verbosity=2)
        self.record = record
        self.times = {}

    def startTest(self, test):
        self.began = time.monotonic()
        self.before = (self.bad(), len(self.skipped))
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        seconds = time.monotonic() - self.began
        self.times[test.id()] = seconds
        self.stream.writeln("  (%s: %.0f s)" % (test.id(), seconds))
        bad, skipped = self.before
        verdict = "failed" if self.bad() > bad else "skipped" if len(self.skipped) > skipped else "passed"
        if self.record:
            append_line(self.record, "%s %s" % (verdict, test.id()))

    def bad(self):
        return len(self.failures) + len(self.errors) + len(self.unexpectedSuccesses)

    def fixture_failures(self):
        """Failures that belong to no case: a class or module set-up or tear-down."""
        return [getattr(t, "description", str(t)) for t, _ in self.failures + self.errors
                if not isinstance(getattr(t, "test_case", t), unittest.TestCase)]


def run_unit(tests, record):
    """Runs the tests as one suite (class and module fixtures once); returns the unit's report."""
    out = Tee(sys.stdout)
    result = RecordingResult(unittest.runner._WritelnDecorator(out), record)
    began = time.monotonic()
    saved = sys.stdout, sys.stderr
    sys.stdout = sys.stderr = out  # what the cases print belongs to the unit's report
    try:
        result.startTestRun()
        unittest.TestSuite(tests).run(result)
        result.stopTestRun()
        result.printErrors()
    finally:
        sys.stdout, sys.stderr = saved
    return {"ids": [t.id() for t in tests], "times": result.times, "wall": time.monotonic() - began,
            "fixture_failures": result.fixture_failures(), "output": out.copy.getvalue()}


def main(pattern, record):
    # The units come on stdin and the reports go to stdout: the programs the cases start inherit
    # neither (os.dup's copies are not inherited); they get /dev/null and stderr instead.
    units = os.fdopen(os.dup(0), encoding="utf-8")
    report = os.fdopen(os.dup(1), "w", encoding="utf-8")
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.close(null)
    os.dup2(2, 1)
    sys.stdin = open(os.devnull, encoding="utf-8")
    sys.stdout = os.fdopen(1, "w", encoding="utf-8", buffering=1, closefd=False)
    by_id = {t.id(): t for t in discover(pattern)}
    for line in units:
        ids = json.loads(line)
        missing = [i for i in ids if i not in by_id]
        if missing:
            sys.exit("worker: no such case: %s" % ", ".join(missing))
        report.write(json.dumps(run_unit([by_id[i] for i in ids], record)) + "\n")
        report.flush()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
