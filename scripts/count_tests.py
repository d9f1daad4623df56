"""Counts the test cases of a stage of scripts/test.sh against the cases the stage should have run.

    count_tests.py ctest TEST_DIR CTEST_LOG XML_DIR    a ctest run (ctest's output in CTEST_LOG)
    count_tests.py record RECORD                       a run that recorded its cases (tests/e2e/run.py)

A case that should have run and left no result counts as failed, so a stage cut short by its time
limit, or a program that crashed before its report, cannot make the count smaller. Skipped cases are
counted apart. Prints a line per program or note, then "PASSED FAILED SKIPPED".

The cases a ctest run should run come from ctest's own list of tests and, for a GoogleTest program,
from the program's listing (--gtest_list_tests, run as ctest runs the program):
- a program that reports to GoogleTest XML (--gtest_output=xml:...) is counted from XML_DIR/NAME.xml;
  every listed case missing there counts as failed, and a program that failed outside its cases
  (a crash after the last one, a leak report) counts as one failed case more;
- a case that ctest runs alone (--gtest_filter=..., from gtest_discover_tests) takes ctest's
  verdict, and every case its program lists that ctest does not run counts as failed;
- any other test is one case with ctest's verdict.
A RECORD holds "listed ID" lines, written before the run, and "passed|failed|skipped ID" lines,
written as each case ends.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# ctest's line per test: "  3/8 Test  #3: wine.msgbox_test .....***Failed    4.02 sec"
RESULT = re.compile(r"Test\s+#\d+:\s+(\S+)\s+\.*\s*\**(.+?)\s+[\d.]+\s+sec\s*$")
LIST_TIMEOUT = 120


class Tally:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0

    def add(self, verdict, n=1):
        setattr(self, verdict, getattr(self, verdict) + n)

    def line(self):
        return "%d %d %d" % (self.passed, self.failed, self.skipped)


def ctest_verdicts(log):
    """Test name -> "passed", "skipped" or ctest's own word for a failure."""
    verdicts = {}
    with open(log, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = RESULT.search(line)
            if m:
                word = m.group(2).strip()
                verdicts[m.group(1)] = ("passed" if word == "Passed" else
                                        "skipped" if word == "Skipped" or word == "Not Run (Disabled)" else word)
    return verdicts


def parse_listing(text):
    """The case names ("Suite.Case") a GoogleTest program lists, in its order."""
    names, suite = [], None
    for line in text.splitlines():
        if not line.strip():
            continue
        name = line.split("#")[0].strip()
        if not line.startswith(" "):
            suite = name if name.endswith(".") else None
        elif suite:
            names.append(suite + name)
    return names


def gtest_listing(command, env):
    """The cases the program of a ctest command lists, or None when it could not list them."""
    args = [a for a in command if not a.startswith(("--gtest_output", "--gtest_filter", "--gtest_brief"))]
    full_env = dict(os.environ, **dict(e.split("=", 1) for e in env))
    # Through a file: a Wine server started here would hold a pipe open long after the program ends.
    with tempfile.TemporaryFile() as out:
        try:
            r = subprocess.run(args + ["--gtest_list_tests"], env=full_env, stdout=out, stderr=subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL, timeout=LIST_TIMEOUT)
        except (OSError, subprocess.TimeoutExpired):
            return None
        out.seek(0)
        text = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
    names = parse_listing(text)
    return names if r.returncode == 0 and names else None


def xml_cases(path):
    """Case name -> "passed", "failed" or "skipped" from one GoogleTest XML report."""
    cases = {}
    for case in ET.parse(path).getroot().iter("testcase"):
        name = "%s.%s" % (case.get("classname"), case.get("name"))
        if case.find("failure") is not None or case.find("error") is not None:
            cases[name] = "failed"
        elif case.get("result") in ("skipped", "suppressed") or case.get("status") == "notrun" \
                or case.find("skipped") is not None:
            cases[name] = "skipped"
        else:
            cases[name] = "passed"
    return cases


def show_missing(missing):
    for case in missing[:3]:
        print("  no result: %s" % case)
    if len(missing) > 3:
        print("  no result: %d more" % (len(missing) - 3))


def option(command, prefix):
    return next((a[len(prefix):] for a in command if a.startswith(prefix)), None)


def count_program(test, verdict, xml_dir, tally):
    """A GoogleTest program that ctest runs whole and that reports to XML."""
    name = test["name"]
    listed = gtest_listing(test["command"], test["env"])
    notes = []
    try:
        reported = xml_cases(os.path.join(xml_dir, name + ".xml"))
    except (OSError, ET.ParseError) as e:
        reported = {}
        notes.append("%s and no case report (%s)" % (verdict or "no result", e.__class__.__name__))
    if listed is None:
        notes.append("its cases could not be listed")
        tally.add("failed")
        listed = list(reported)
    missing = [c for c in listed if c not in reported]
    per = Tally()
    for case in listed:
        per.add(reported.get(case, "failed"))
    for case in reported:
        if case not in listed:
            per.add(reported[case])
    if missing:
        notes.append("%d listed cases left no result" % len(missing))
    if verdict != "passed" and per.failed == 0:
        notes.append("failed outside its cases (%s)" % (verdict or "no result"))
        tally.add("failed")
    print("%s: %d passed, %d failed, %d skipped%s" % (name, per.passed, per.failed, per.skipped,
                                                    "".join("; " + n for n in notes)))
    for case in listed:
        if reported.get(case) == "failed":
            print("  failed: %s" % case)
    show_missing(missing)
    tally.add("passed", per.passed)
    tally.add("failed", per.failed)
    tally.add("skipped", per.skipped)


def count_ctest(test_dir, log, xml_dir):
    tally = Tally()
    shown = subprocess.run(["ctest", "--test-dir", test_dir, "--show-only=json-v1"], capture_output=True, text=True)
    try:
        tests = json.loads(shown.stdout)["tests"]
    except (ValueError, KeyError):
        print("ctest could not list the tests of %s" % test_dir)
        tally.add("failed")
        return tally
    verdicts = ctest_verdicts(log)
    run_alone = {}  # program -> (its ctest command, environment, cases ctest runs alone)
    for t in tests:
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        t["env"] = props.get("ENVIRONMENT", [])
        command = t.get("command") or []
        verdict = verdicts.get(t["name"])
        if option(command, "--gtest_output=xml:") is not None:
            count_program(t, verdict, xml_dir, tally)
            continue
        single = option(command, "--gtest_filter=")
        if single is not None:
            entry = run_alone.setdefault(command[0], (command, t["env"], set()))
            entry[2].add(single)
        if verdict in ("passed", "skipped"):
            tally.add(verdict)
        else:
            tally.add("failed")
            print("%s: %s" % (t["name"], verdict or "no result"))
    for program, (command, env, cases) in sorted(run_alone.items()):
        listed = gtest_listing(command, env)
        if listed is None:
            print("%s: its cases could not be listed" % os.path.basename(program))
            tally.add("failed")
            continue
        for case in listed:
            if case not in cases:
                print("%s: %s is listed but ctest does not run it" % (os.path.basename(program), case))
                tally.add("failed")
    return tally


def count_record(path):
    tally = Tally()
    listed, verdicts = [], {}
    try:
        f = open(path, encoding="utf-8", errors="replace")
    except OSError:
        print("no record %s" % path)
        tally.add("failed")
        return tally
    with f:
        for line in f:
            word, _, case = line.rstrip("\n").partition(" ")
            if word == "listed":
                listed.append(case)
            elif word in ("passed", "failed", "skipped"):
                # A case with several verdicts (a failing clean-up after it passed) keeps the worst.
                if verdicts.get(case) != "failed":
                    verdicts[case] = word
    if not listed:
        print("no cases listed in %s" % path)
        tally.add("failed")
    for case in listed:
        tally.add(verdicts.get(case, "failed"))
        if verdicts.get(case) == "failed":
            print("  failed: %s" % case)
    show_missing([case for case in listed if case not in verdicts])
    return tally


def main(argv):
    if len(argv) == 5 and argv[1] == "ctest":
        tally = count_ctest(argv[2], argv[3], argv[4])
    elif len(argv) == 3 and argv[1] == "record":
        tally = count_record(argv[2])
    else:
        sys.exit("usage: count_tests.py ctest TEST_DIR CTEST_LOG XML_DIR | count_tests.py record RECORD")
    print(tally.line())


if __name__ == "__main__":
    main(sys.argv)
