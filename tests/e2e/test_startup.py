"""Start-up of the real program: its window, its language, and the ways it ends."""
import os
import subprocess
import unittest

from harness import (ID_CHECK_SERVER, ID_EXIT, ID_START, VK_ESCAPE, DiagnosticsLog, Driver, FtpFixture, Program, Wine,
                     screen_size, screenshot, screenshot_dir)

SETUP = "/Software/TALVIX_FULL_250101.exe"
# The command buttons in the main window's client area (left, top, right, bottom); their first frame
# has no pixel darker than grey 143, so dark pixels there are the black caption.
COMMAND_BUTTONS = {ID_CHECK_SERVER: (140, 265, 276, 307), ID_START: (310, 265, 446, 307)}


def caption_height(png, box):
    """How many pixel rows the dark caption spans inside box of the screenshot."""
    left, top, right, bottom = box
    out = subprocess.run(["/usr/bin/convert", png, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                          "+repage", "txt:-"], check=True, capture_output=True, timeout=30).stdout.decode()
    rows = set()
    for line in out.splitlines()[1:]:  # "x,y: (r,g,b) ..."
        where, colour = line.split(":", 1)
        r, g, b = (float(v) for v in colour.split("(")[1].split(")")[0].split(",")[:3])
        if max(r, g, b) < 60:
            rows.add(int(where.split(",")[1]))
    return max(rows) - min(rows) + 1 if rows else 0


class StartupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ftp = FtpFixture(port=5301).start()
        cls.ftp.add_file(SETUP, 4096)

    @classmethod
    def tearDownClass(cls):
        cls.ftp.cleanup()

    def start(self, lang="en_US.UTF-8"):
        wine = Wine(lang=lang)
        wine.kill_server()  # the language is read when the Wine session starts
        program = Program(wine).start()
        self.addCleanup(program.kill)
        driver = Driver(wine)
        driver.wait_main()
        return program, driver

    def test_window_is_centred_captionless_and_exit_ends_with_18(self):
        program, driver = self.start()
        left, top, right, bottom = driver.rect()
        self.assertEqual((right - left, bottom - top), (562, 598))
        width, height = screen_size()
        self.assertLessEqual(abs(left - (width - 562) // 2), 1)
        self.assertLessEqual(abs(top - (height - 598) // 2), 1)
        style, exstyle = (int(v, 16) for v in driver.ok("style", "main").split())
        WS_CAPTION, WS_POPUP, WS_EX_APPWINDOW = 0x00C00000, 0x80000000, 0x00040000
        self.assertEqual(style & WS_CAPTION, 0)
        self.assertTrue(style & WS_POPUP)
        self.assertTrue(exstyle & WS_EX_APPWINDOW)
        screenshot(driver, screenshot_dir() + "/startup-en.png")
        driver.ok("click", ID_EXIT)
        self.assertEqual(program.wait(30), 18)

    def test_escape_ends_the_program(self):
        program, driver = self.start()
        driver.ok("key", VK_ESCAPE)
        self.assertEqual(program.wait(30), 0)

    def test_korean_user_interface_language_chooses_korean(self):
        program, driver = self.start("ko_KR.UTF-8")
        self.assertEqual(driver.text(ID_CHECK_SERVER), "서버 확인")
        self.assertEqual(driver.text(ID_START), "설치 시작")
        self.assertEqual(driver.text(ID_EXIT), "닫기")
        screenshot(driver, screenshot_dir() + "/startup-ko.png")
        driver.ok("click", ID_EXIT)
        self.assertEqual(program.wait(30), 18)

    def test_english_user_interface_language_chooses_english(self):
        program, driver = self.start("en_US.UTF-8")
        self.assertEqual(driver.text(ID_CHECK_SERVER), "Check Server")
        self.assertEqual(driver.text(ID_START), "Start Installation")
        self.assertEqual(driver.text(ID_EXIT), "Exit")
        # Laid out with Arial's widths (Liberation Sans under Wine), as on Windows: a button gives a
        # line 116 pixels; bold Arial 18 makes "Check Server" about 103 pixels wide, one line, and
        # "Start Installation" about 123, two lines.
        png = screenshot(driver, screenshot_dir() + "/startup-en-buttons.png")
        check, start = (caption_height(png, COMMAND_BUTTONS[i]) for i in (ID_CHECK_SERVER, ID_START))
        self.assertTrue(8 <= check <= 20, "Check Server spans %d rows" % check)
        self.assertTrue(21 <= start <= 40, "Start Installation spans %d rows" % start)
        driver.ok("close")
        self.assertEqual(program.wait(30), 0)

    def test_log_switch_opens_the_log_folder_and_ends_without_the_server(self):
        wine = Wine()
        log = DiagnosticsLog(wine)  # the folder is gone until the switch makes it
        self.ftp.clear_requests()
        program = Program(wine, args=["/log"]).start()
        self.addCleanup(program.kill)  # also ends the Explorer window it opened
        self.assertEqual(program.wait(30), 0)
        self.assertTrue(os.path.isdir(log.folder))
        self.assertEqual(self.ftp.requests(), [])


if __name__ == "__main__":
    unittest.main()
