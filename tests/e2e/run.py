"""Runs every end-to-end test (tests/e2e/test_*.py) and prints "e2e: N passed, N failed, N skipped";
exits 1 when any failed or none ran.

    run.py [PATTERN] [--record FILE] [--lanes N]

The cases mostly wait (on servers, timers, Wine's start-up), so they run side by side in N lanes
(QV_E2E_LANES; by default one more than the cores, at most 3). Each lane is a worker process with a
copy of the Wine prefix (WINEPREFIX), an Xvfb display and, as root, a network namespace of its own,
whose 127.0.0.1:5301 is its alone (lanes.py). Without a namespace the cases run in one lane and take
a machine-wide lock on port 5301. Units of cases (a case, or a class or module with fixtures of its
own) go to the next free lane, longest first; a case whose assertion is about time runs while no
other does (schedule.py). Each lane's log is build/e2e-lanes/lane-N.log; each unit's output is
printed here as it ends, and the case times go to build/e2e-durations.txt for the next run's order
(copy it to tests/e2e/durations.txt when cases were added or got slower).

With --record, FILE gets a line "listed ID" for every case before the first one runs, and
"passed|failed|skipped ID" as each one ends, so a run cut short still shows what it left undone
(scripts/count_tests.py counts it)."""
import fcntl
import os
import signal
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.environ.get("QV_ROOT") or os.path.dirname(os.path.dirname(HERE))
BUILD = os.environ.get("QV_BUILD") or os.path.join(ROOT, "build")
sys.path.insert(0, HERE)

import schedule  # noqa: E402
from lanes import Lane, can_make_private_network  # noqa: E402
from worker import discover, run_unit  # noqa: E402

DURATIONS = os.path.join(BUILD, "e2e-durations.txt")
KNOWN_DURATIONS = os.path.join(HERE, "durations.txt")
MAX_LANES = 3


def default_lanes():
    if os.environ.get("QV_E2E_LANES"):
        return max(1, int(os.environ["QV_E2E_LANES"]))
    return min(MAX_LANES, (os.cpu_count() or 1) + 1)


def parse(args):
    record, lanes, pattern = None, default_lanes(), "test_*.py"
    args = list(args)
    while args:
        arg = args.pop(0)
        if arg == "--record":
            record = args.pop(0)
        elif arg == "--lanes":
            lanes = max(1, int(args.pop(0)))
        else:
            pattern = arg
    return pattern, record, lanes


class Run:
    """The units, the lanes that run them, what they reported."""

    def __init__(self, units, lanes):
        self.dispatcher = schedule.Dispatcher(units)
        self.lanes = lanes
        self.reports = []
        self.print_lock = threading.Lock()

    def say(self, text):
        with self.print_lock:
            sys.stdout.write(text if text.endswith("\n") else text + "\n")
            sys.stdout.flush()

    def drive(self, lane):
        """A lane's thread: starts the lane, runs units until none is left or the worker has gone."""
        try:
            lane.start()
        except (OSError, RuntimeError, ValueError) as e:
            self.say("e2e: lane %d could not start: %s" % (lane.number, e))
            return
        try:
            self.say("e2e: %s started" % lane.describe)
            while True:
                unit = self.dispatcher.next()
                if unit is None:
                    return
                report = lane.run(unit.ids)
                self.dispatcher.done()
                if report is None:
                    self.say("e2e: lane %d ended during %s (see %s); its cases left no result"
                             % (lane.number, unit.key, lane.log_path))
                    return
                report["unit"] = unit
                self.reports.append(report)
                self.say("--- lane %d: %s (%d case%s, %.0f s)\n%s" % (
                    lane.number, unit.key, len(unit.ids), "" if len(unit.ids) == 1 else "s", report["wall"],
                    report["output"]))
        finally:
            lane.stop()

    def go(self):
        threads = [threading.Thread(target=self.drive, args=(lane,), daemon=True) for lane in self.lanes]
        for t in threads:
            t.start()
        try:
            for t in threads:
                while t.is_alive():
                    t.join(1)
        finally:
            for lane in self.lanes:
                lane.stop(at_once=True)
        for unit in self.dispatcher.left():
            self.say("e2e: no lane ran %s" % unit.key)


def write_listing(record, tests):
    with open(record, "w", encoding="utf-8") as f:
        f.writelines("listed %s\n" % t.id() for t in tests)


def verdicts(record):
    """Case -> its worst verdict in the record."""
    found = {}
    with open(record, encoding="utf-8") as f:
        for line in f:
            word, _, case = line.rstrip("\n").partition(" ")
            if word in ("passed", "failed", "skipped") and found.get(case) != "failed":
                found[case] = word
    return found


def keep_durations(reports):
    """Adds this run's case times (and a fixture unit's own time) to build/e2e-durations.txt."""
    durations = schedule.read_durations(DURATIONS)
    for report in reports:
        durations.update(report["times"])
        unit = report["unit"]
        if unit.fixtures and not report["fixture_failures"]:
            durations[unit.key] = max(0.0, report["wall"] - sum(report["times"].values()))
    try:
        schedule.write_durations(DURATIONS, durations)
    except OSError as e:
        print("e2e: case times not kept (%s)" % e)


def show_times(run, began, reports):
    wall = time.monotonic() - began
    case_time = sum(sum(r["times"].values()) for r in reports)
    busy = ", ".join("lane %d %.0f s" % (lane.number, lane.busy_seconds) for lane in run.lanes)
    print("e2e: %.0f s for %.0f s of cases in %d lanes (%s)" % (wall, case_time, len(run.lanes), busy))
    slowest = sorted(reports, key=lambda r: -r["wall"])[:8]
    print("e2e: slowest units: " + ", ".join("%s %.0f s" % (r["unit"].key, r["wall"]) for r in slowest))


def main():
    pattern, record, lanes = parse(sys.argv[1:])
    # A stop (the test command's time limit) still ends what the lanes started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    private = can_make_private_network()
    lock = None
    if not private:
        # The program always uses port 5301: without namespaces, one lane and one user of it at a time.
        lanes = 1
        lock = open("/tmp/qv-port5301.lock", "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
    if record is None:
        handle, record = tempfile.mkstemp(prefix="qv-e2e-record-")
        os.close(handle)
    record = os.path.abspath(record)
    tests = discover(pattern)
    write_listing(record, tests)

    # A test file that did not import is a case of unittest's own that fails here at once.
    broken = [t for t in tests if type(t).__module__.startswith("unittest.")]
    fixture_failures = 0
    if broken:
        report = run_unit(broken, record)
        print(report["output"])
        fixture_failures += len(report["fixture_failures"])
    units = schedule.units_of([t for t in tests if t not in broken])
    typical = schedule.estimate(units, schedule.read_durations(DURATIONS, KNOWN_DURATIONS))
    units = schedule.ordered(units)
    lanes = max(1, min(lanes, len(units)))
    print("e2e: %d cases in %d units (%d run alone), %d lanes; about %.0f s of cases (an unknown case: %.0f s)"
          % (len(tests), len(units), sum(u.alone for u in units), lanes, sum(u.estimate for u in units), typical))
    sys.stdout.flush()

    template = os.environ.get("WINEPREFIX") or os.path.join(BUILD, "wine64")
    folder = os.path.join(BUILD, "e2e-lanes")
    os.makedirs(folder, exist_ok=True)
    run = Run(units, [Lane(n + 1, folder, template, pattern, record, private) for n in range(lanes)])
    began = time.monotonic()
    try:
        run.go()
    finally:
        if lock:
            lock.close()
    show_times(run, began, run.reports)
    keep_durations(run.reports)

    # A case counts once however many of its sub-tests or clean-ups failed; a failed class or module
    # fixture counts as at least one failed case (the cases it kept from running count each).
    fixture_failures += sum(len(r["fixture_failures"]) for r in run.reports)
    found = verdicts(record)
    ids = [t.id() for t in tests]
    passed = sum(found.get(i) == "passed" for i in ids)
    skipped = sum(found.get(i) == "skipped" for i in ids)
    missing = sum(i not in found for i in ids)
    failed = sum(found.get(i) == "failed" for i in ids) + max(missing, fixture_failures)
    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 0 if failed == 0 and passed + skipped > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
