"""Which end-to-end cases run together, and in what order, when run.py runs them side by side.

A unit is what one lane runs at a time: a single case, or every case of a class (or module) that has
fixtures of its own (setUpClass, setUpModule), so those run once, in one lane. Units go out longest
first, from the case times of earlier runs (build/e2e-durations.txt, then tests/e2e/durations.txt;
a case known to neither counts as the median known case), so the long ones do not end the run alone.
A unit holding a case marked `runs_alone` (harness.runs_alone: its assertion is about time) runs
while no other unit runs, after all the others.
"""
import os
import statistics
import sys
import threading
import unittest

DEFAULT_CASE_SECONDS = 20.0


def read_durations(*paths):
    """ID -> seconds from files of "ID SECONDS" lines; an earlier file wins."""
    found = {}
    for path in reversed(paths):
        try:
            with open(path, encoding="utf-8") as f:
                for line in f:
                    parts = line.split()
                    if len(parts) == 2 and not line.startswith("#"):
                        try:
                            found[parts[0]] = float(parts[1])
                        except ValueError:
                            pass
        except OSError:
            pass
    return found


def write_durations(path, durations):
    with open(path + ".new", "w", encoding="utf-8") as f:
        f.writelines("%s %.1f\n" % (key, durations[key]) for key in sorted(durations))
    os.replace(path + ".new", path)


def _has_own(cls, name):
    return getattr(cls, name).__func__ is not getattr(unittest.TestCase, name).__func__


def _module_fixtures(module_name):
    module = sys.modules.get(module_name)
    return module is not None and (hasattr(module, "setUpModule") or hasattr(module, "tearDownModule"))


def _alone(test):
    method = getattr(test, test._testMethodName, None)
    return bool(getattr(method, "runs_alone", False) or getattr(type(test), "runs_alone", False))


class Unit:
    def __init__(self, key, fixtures):
        self.key = key            # the case, class or module id
        self.fixtures = fixtures  # its class or module fixtures run once, around its cases
        self.tests, self.ids = [], []
        self.alone = False
        self.estimate = 0.0


def units_of(tests):
    """The tests (in discovery order) grouped into units, in that order."""
    units, by_key = [], {}
    for test in tests:
        cls = type(test)
        module_key = cls.__module__
        class_key = module_key + "." + cls.__qualname__
        if _module_fixtures(module_key):
            key, fixtures = module_key, True
        elif _has_own(cls, "setUpClass") or _has_own(cls, "tearDownClass"):
            key, fixtures = class_key, True
        else:
            key, fixtures = test.id(), False
        if key not in by_key:
            by_key[key] = Unit(key, fixtures)
            units.append(by_key[key])
        by_key[key].tests.append(test)
        by_key[key].ids.append(test.id())
    for unit in units:
        unit.alone = any(_alone(t) for t in unit.tests)
    return units


def estimate(units, durations):
    """Sets each unit's expected seconds: its cases' times and, for a fixture unit, its fixtures' time."""
    known = [durations[i] for u in units for i in u.ids if i in durations]
    typical = statistics.median(known) if known else DEFAULT_CASE_SECONDS
    for unit in units:
        unit.estimate = sum(durations.get(i, typical) for i in unit.ids)
        if unit.fixtures:
            unit.estimate += durations.get(unit.key, 0.0)
    return typical


def ordered(units):
    """Longest first; units that run alone after all the others, longest first among them too."""
    return sorted(units, key=lambda u: (u.alone, -u.estimate))


class Dispatcher:
    """Hands units to lanes as they become free; a unit that runs alone waits until no lane is busy,
    and no unit starts beside it."""

    def __init__(self, units):
        self.queue = list(units)
        self.busy = 0
        self.alone_running = False
        self.cond = threading.Condition()

    def next(self):
        """The next unit for a free lane, or None when every unit has gone out."""
        with self.cond:
            while self.queue:
                unit = self.queue[0]
                if not self.alone_running and (not unit.alone or self.busy == 0):
                    self.queue.pop(0)
                    self.busy += 1
                    self.alone_running = unit.alone
                    return unit
                self.cond.wait()
            return None

    def done(self):
        with self.cond:
            self.busy -= 1
            self.alone_running = False
            self.cond.notify_all()

    def left(self):
        """The units no lane took (every lane ended early)."""
        with self.cond:
            rest, self.queue = self.queue, []
            self.cond.notify_all()
            return rest
