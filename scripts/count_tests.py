"""Counts the test cases of a ctest run whose tests are GoogleTest programs, for scripts/test.sh.

    count_tests.py CTEST_LOG XML_DIR

Each ctest test NAME writes XML_DIR/NAME.xml (--gtest_output). Its cases are counted from that file;
a program that failed outside its cases (a crash, a time-out, a leak report after the last case) or
left no file counts as one failed case more. Prints a line per program, then "PASSED FAILED SKIPPED".
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

# ctest's line per test: "  3/8 Test  #3: wine.msgbox_test ........   Passed    4.02 sec"
RESULT = re.compile(r"Test\s+#\d+:\s+(\S+)\s+\.*\s*(\*+)?\s*(Passed|Failed|Not Run|Timeout|Exception|\S+)")


def ctest_results(log):
    results = {}
    with open(log, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = RESULT.search(line)
            if m:
                results[m.group(1)] = m.group(3)
    return results


def cases(xml_path):
    """(passed, failed, skipped, names of failed cases) of one GoogleTest XML report."""
    root = ET.parse(xml_path).getroot()
    passed = failed = skipped = 0
    failed_names = []
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            failed_names.append("%s.%s" % (case.get("classname"), case.get("name")))
        elif case.get("result") == "skipped" or case.get("status") == "notrun" or case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped, failed_names


def main(log, xml_dir):
    results = ctest_results(log)
    total = [0, 0, 0]
    if not results:
        print("no test results in %s" % log)
        total[1] += 1
    for name, verdict in sorted(results.items()):
        path = os.path.join(xml_dir, name + ".xml")
        try:
            p, f, s, names = cases(path)
        except (OSError, ET.ParseError) as e:
            print("%s: %s and no case report (%s)" % (name, verdict, e.__class__.__name__))
            total[1] += 1
            continue
        extra = 1 if verdict != "Passed" and f == 0 else 0
        note = " + failed outside its cases (%s)" % verdict if extra else ""
        print("%s: %d passed, %d failed, %d skipped%s" % (name, p, f, s, note))
        for n in names:
            print("  failed: %s" % n)
        total[0] += p
        total[1] += f + extra
        total[2] += s
    print("%d %d %d" % tuple(total))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: count_tests.py CTEST_LOG XML_DIR")
    main(sys.argv[1], sys.argv[2])
