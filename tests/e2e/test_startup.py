"""Start-up of the real program: its window, its language, and the ways it ends."""
import unittest

from harness import (ID_CHECK_SERVER, ID_EXIT, ID_START, VK_ESCAPE, Driver, FtpFixture, Program, Wine, screenshot,
                     screenshot_dir)

SETUP = "/Software/TALVIX_FULL_250101.exe"


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
        self.assertLessEqual(abs(left - (1024 - 562) // 2), 1)
        self.assertLessEqual(abs(top - (768 - 598) // 2), 1)
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
        self.assertEqual(driver.text(ID_EXIT), "Exit")
        driver.ok("close")
        self.assertEqual(program.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
