"""The real program without a mouse and without sight: Tab and Enter drive it, the focus shows once a
key has been pressed, and a screen reader (MSAA, through QvAccProbe.exe) reads what a sighted user
reads and hears the banner and the row change."""
import os
import subprocess
import threading
import unittest

from harness import (BIN, ID_BANNER, ID_CHECK_SERVER, ID_EXIT, ID_HEADER, ID_LIST, ID_START, ID_WARNING_1,
                     ID_WARNING_2, SETUP_RECORD, VK_RETURN, VK_SPACE, VK_TAB, WORK_FOLDER, Driver, FtpFixture,
                     Program, Wine, demo_setup_signed, screenshot, screenshot_dir, text_table, wait_until)

EN = text_table()
SETUP = "TALVIX_FULL_250101.exe"
REMOTE = "/Software/" + SETUP
STATE_SYSTEM_FOCUSED = 0x4
# The skinned buttons and where they sit in the window's client area.
BUTTONS = (ID_EXIT, ID_CHECK_SERVER, ID_START)


class Probe:
    """QvAccProbe.exe, the screen reader's view of the program."""

    def __init__(self, wine):
        self.wine = wine
        self.exe = os.path.join(BIN, "QvAccProbe.exe")

    def children(self):
        """{control id: (accessible name, state)} in reading order."""
        rc, out = self.wine.run([self.exe, "children"], timeout=60)
        if rc != 0:
            raise AssertionError("QvAccProbe children: exit %d" % rc)
        found = {}
        for line in out.decode("utf-8").replace("\r\n", "\n").split("\n"):
            if line:
                control, name, state = line.split("\t")[0], line.split("\t")[1:-1], line.split("\t")[-1]
                found[int(control)] = ("\t".join(name), int(state, 16))
        return found

    def order(self):
        rc, out = self.wine.run([self.exe, "children"], timeout=60)
        return [int(line.split("\t")[0]) for line in out.decode("utf-8").splitlines() if line]


class NameChanges:
    """The names announced (EVENT_OBJECT_NAMECHANGE) for some controls until the window has gone."""

    def __init__(self, wine, controls, timeout_ms=120000):
        exe = os.path.join(BIN, "QvAccProbe.exe")
        self.process = subprocess.Popen(["wine", exe, "name-changes", str(timeout_ms)] + [str(c) for c in controls],
                                        env=wine.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = []
        self.listening = threading.Event()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        if not self.listening.wait(60):
            raise AssertionError("the probe did not start listening")

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("utf-8").rstrip("\r\n")
            if line == "watching":
                self.listening.set()
            elif "\t" in line:
                control, name = line.split("\t", 1)
                self.lines.append((int(control), name))

    def result(self, timeout=60):
        self.process.wait(timeout)
        self.thread.join(10)
        return self.lines


def pixels(path):
    """(width, height, RGB bytes) of a PNG."""
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", path], check=True, capture_output=True,
                          timeout=30).stdout.split()
    raw = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True,
                         timeout=30).stdout
    return int(size[0]), int(size[1]), raw


def region(image, rect):
    width, _, raw = image
    left, top, right, bottom = rect
    return b"".join(raw[(y * width + left) * 3:(y * width + right) * 3] for y in range(top, bottom))


class AccessibilityTest(unittest.TestCase):
    def setUp(self):
        self.wine = Wine()
        self.wine.kill_server()
        self.record = self.wine.unix(SETUP_RECORD)
        self.remove_record()
        self.addCleanup(self.remove_record)
        self.addCleanup(lambda: subprocess.run(["rm", "-rf", self.wine.unix(WORK_FOLDER)], timeout=30))
        self.ftp = FtpFixture(port=5301)
        self.addCleanup(self.ftp.cleanup)
        self.ftp.add_file(REMOTE, demo_setup_signed(300000))
        self.ftp.set_faults(rate=600000)
        self.ftp.start()
        self.program = Program(self.wine).start()
        self.addCleanup(self.program.kill)
        self.driver = Driver(self.wine)
        self.driver.wait_main()
        self.driver.ok("wait-list", EN[0], 30000)
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 30000)

    def remove_record(self):
        if os.path.exists(self.record):
            os.remove(self.record)

    def tab_to(self, control):
        """Presses Tab until the control has the focus; returns the controls passed on the way."""
        seen = [self.driver.focus()]
        for _ in range(8):
            if seen[-1] == control:
                return seen
            self.driver.ok("key", VK_TAB)
            seen.append(self.driver.focus())
        raise AssertionError("Tab never reached %d: %r" % (control, seen))

    def test_enter_on_start_installation_downloads_and_launches_the_setup_announcing_the_progress(self):
        self.tab_to(ID_START)
        heard = NameChanges(self.wine, [ID_BANNER, ID_LIST])
        self.driver.ok("key", VK_RETURN)
        wait_until(lambda: os.path.exists(self.record) and os.path.getsize(self.record) > 0, 60,
                   "the setup program to start")
        self.assertEqual(self.program.wait(60), 0)
        changes = heard.result()
        banner = [name for control, name in changes if control == ID_BANNER]
        rows = [name for control, name in changes if control == ID_LIST]
        self.assertTrue(any(name.startswith(EN[17].split("\n")[0]) for name in banner), banner)
        self.assertTrue(any(name.startswith(EN[21].split("\n")[0]) for name in banner), banner)
        self.assertTrue(any("[%]\tchecked" in row for row in rows), rows)
        self.assertTrue(any("\t" + EN[2] + "\tchecked" in row for row in rows), rows)

    def test_enter_on_check_server_lists_the_folder_again_and_on_the_list_ends_the_run(self):
        self.tab_to(ID_CHECK_SERVER)
        self.ftp.clear_requests()
        self.driver.ok("key", VK_RETURN)
        self.ftp.wait_for_request("LIST /Software", 20)
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 20000)
        self.assertTrue(self.program.running())
        self.assertEqual(self.driver.focus(), ID_CHECK_SERVER)
        # Enter with no button focused still goes to the dialog's default command, which ends the run.
        self.tab_to(ID_LIST)
        self.driver.ok("key", VK_RETURN)
        self.program.wait(30)

    def test_tab_order_runs_top_to_bottom_and_shows_the_focus_only_after_a_key(self):
        shots = screenshot_dir()
        before = pixels(screenshot(self.driver, shots + "/keyboard-before-any-key.png"))
        rects = {c: tuple(int(v) for v in self.driver.ok("client-rect", c).split()) for c in BUTTONS}
        self.assertEqual(self.driver.focus(), ID_LIST)  # the template's first control
        passed = self.tab_to(ID_START)
        self.assertEqual(passed, [ID_LIST, ID_EXIT, ID_CHECK_SERVER, ID_START])
        self.tab_to(ID_EXIT)
        for focused in BUTTONS:
            self.tab_to(focused)
            after = pixels(screenshot(self.driver, shots + "/keyboard-focus-%d.png" % focused))
            for control in BUTTONS:
                same = region(before, rects[control]) == region(after, rects[control])
                # The button focused before any key shows no cue: it looks as it does unfocused.
                self.assertEqual(same, control != focused, "control %d, focus on %d" % (control, focused))

    def test_screen_reader_reads_warnings_headings_rows_and_buttons_and_space_checks_a_row(self):
        found = Probe(self.wine).children()
        self.assertEqual(found[ID_WARNING_1][0], EN[27])
        self.assertEqual(found[ID_WARNING_2][0], EN[28])
        self.assertEqual(found[ID_HEADER][0], "\t".join(EN[3:7]))
        self.assertEqual(found[ID_CHECK_SERVER][0], EN[7])
        self.assertEqual(found[ID_START][0], EN[8])
        self.assertEqual(found[ID_EXIT][0], EN[30])
        self.assertTrue(found[ID_BANNER][0].startswith(EN[11].split("\n")[0]))
        self.assertTrue(found[ID_LIST][0].endswith("\t" + EN[0] + "\tchecked"), found[ID_LIST])
        # Reading order follows the window from top to bottom.
        order = Probe(self.wine).order()
        self.assertLess(order.index(ID_BANNER), order.index(ID_WARNING_1))
        self.assertLess(order.index(ID_WARNING_2), order.index(ID_CHECK_SERVER))
        self.assertLess(order.index(ID_HEADER), order.index(ID_LIST))

        self.tab_to(ID_LIST)
        self.assertTrue(Probe(self.wine).children()[ID_LIST][1] & STATE_SYSTEM_FOCUSED)
        self.driver.ok("key", VK_SPACE)
        self.assertEqual(self.driver.checks(), [False])
        self.assertTrue(Probe(self.wine).children()[ID_LIST][0].endswith("\tnot checked"))
        self.driver.ok("key", VK_SPACE)
        self.assertEqual(self.driver.checks(), [True])


if __name__ == "__main__":
    unittest.main()
