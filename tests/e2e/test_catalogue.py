"""The server check of the real program: which folder each copy lists, what row it offers, the banner,
and a server that is down at start. Screenshots of the offered row are kept for review."""
import os
import subprocess
import unittest

from harness import (ID_BANNER, ID_CHECK_SERVER, ID_EXIT, ID_HEADER, ID_LIST, ID_START, DiagnosticsLog, Driver,
                     FtpFixture, Program, Wine, install_scanner, remove_scanner, screenshot,
                     screenshot_dir, text_table)

EN = text_table()
KO = text_table(korean=True)

# Control rectangles in the main window's client area: left, top, right, bottom.
LAYOUT = {
    ID_CHECK_SERVER: (140, 265, 276, 307),
    ID_START: (310, 265, 446, 307),
    ID_EXIT: (506, 9, 560, 47),
    ID_BANNER: (40, 71, 530, 146),
    ID_LIST: (15, 325, 550, 580),
    ID_HEADER: (15, 325, 550, 362),
}
WARNING_LINES = (50, 188, 510, 238)


def listings(ftp):
    return [line.split(" ", 1)[1] for line in ftp.requests() if line.startswith("LIST ")]


def red_pixels(png, box):
    """How many pure-red pixels the picture has inside box (left, top, right, bottom)."""
    left, top, right, bottom = box
    out = subprocess.run(["/usr/bin/convert", png, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                          "+repage", "txt:-"], check=True, capture_output=True, timeout=30).stdout.decode()
    return sum(1 for line in out.splitlines() if "#FF0000" in line)


class CatalogueTest(unittest.TestCase):
    def setUp(self):
        self.wine = Wine()
        self.wine.kill_server()
        remove_scanner(self.wine)
        self.addCleanup(remove_scanner, self.wine)
        self.ftp = FtpFixture(port=5301)
        self.addCleanup(self.ftp.cleanup)

    def start(self, name="QuorvelDownloader.exe", test_marker=False, lang="en_US.UTF-8", wait=True):
        wine = Wine(lang=lang)
        wine.kill_server()  # the language is read when the Wine session starts
        program = Program(wine, name=name, test_marker=test_marker).start()
        self.addCleanup(program.kill)
        driver = Driver(wine)
        if wait:
            driver.wait_main()
        return program, driver

    def exit(self, program, driver):
        driver.ok("click", ID_EXIT)
        self.assertEqual(program.wait(30), 18)

    def test_each_copy_lists_the_folder_of_its_edition_code(self):
        folders = {
            "/OEM/KESTRA/Factory/Software": "TALVIX_FULL_250101.exe",
            "/OEM/KESTRA/Factory/SoftwareTest": "TALVIX_FULL_250202.exe",
            "/Software": "TALVIX_FULL_250303.exe",
            "/SoftwareTest": "TALVIX_FULL_250404.exe",
        }
        for folder, name in folders.items():
            self.ftp.add_file(folder + "/" + name, 2048)
        self.ftp.start()
        cases = [
            ("KSF.QuorvelDownloader.exe", False, "/OEM/KESTRA/Factory/Software", "KESTRA-Factory"),
            ("ksf.QuorvelDownloader.exe", False, "/OEM/KESTRA/Factory/Software", "KESTRA-Factory"),
            ("QuorvelDownloader.exe", False, "/Software", "Talvix-Main"),
            ("KSF.QuorvelDownloader.exe", True, "/OEM/KESTRA/Factory/SoftwareTest", "KESTRA-Factory"),
            ("QuorvelDownloader.exe", True, "/SoftwareTest", "Talvix-Main"),
        ]
        for name, marker, folder, title in cases:
            with self.subTest(name=name, marker=marker):
                self.ftp.clear_requests()
                program, driver = self.start(name, marker)
                self.assertEqual(listings(self.ftp), [folder])
                version = folders[folder][-10:-4]
                # No scanner is installed: its version shows as "-".
                self.assertEqual(driver.rows(), [[title, "-", version, EN[0]]])
                self.assertEqual(driver.text(ID_BANNER), EN[11])
                self.exit(program, driver)

    def test_offered_row_shows_both_versions_and_the_invitation(self):
        install_scanner(self.wine, "2.4.7.1")
        self.ftp.add_file("/Software/readme.txt", b"notes\r\n")
        self.ftp.add_file("/Software/TALVIX_FULL_250314.exe", 4096)
        self.ftp.add_file("/Software/TALVIX_FULL_250401.exe", 4096)  # only the first setup is offered
        self.ftp.start()
        for lang, texts, shot in (("en_US.UTF-8", EN, "catalogue-offered-en.png"),
                                  ("ko_KR.UTF-8", KO, "catalogue-offered-ko.png")):
            with self.subTest(lang=lang):
                program, driver = self.start(lang=lang)
                self.assertEqual(driver.rows(), [["Talvix-Main", "2.4.7.1", "250314", texts[0]]])
                self.assertEqual(driver.text(ID_BANNER), texts[11])
                for control, rect in LAYOUT.items():
                    self.assertEqual(tuple(int(v) for v in driver.ok("client-rect", control).split()), rect,
                                     "control %d" % control)
                png = screenshot(driver, os.path.join(screenshot_dir(), shot))
                # Both red warning lines are painted over the background.
                self.assertGreater(red_pixels(png, WARNING_LINES), 200)
                self.exit(program, driver)

    def test_empty_folder_offers_nothing_and_says_the_server_is_being_checked(self):
        self.ftp.add_folder("/Software")
        self.ftp.add_file("/OEM/KESTRA/Factory/Software/TALVIX_FULL_250101.exe", 100)  # not this copy's
        self.ftp.start()
        program, driver = self.start()
        self.assertEqual(listings(self.ftp), ["/Software"])
        self.assertEqual(driver.rows(), [])
        self.assertEqual(driver.text(ID_BANNER), EN[12])
        self.exit(program, driver)

    def test_server_down_at_start_shows_the_failure_first_and_check_server_retries(self):
        log = DiagnosticsLog(self.wine)
        program, driver = self.start(wait=False)
        self.assertEqual(driver.wait_msgbox(), EN[9] + "\n" + EN[10])
        # The log names the failure by the platform's code and the notice by its text numbers.
        self.assertRegex(log.event("ftp.connect-failed")["code"], r"^12\d\d\d$")
        self.assertEqual(log.event("notice"), {"text": "9", "second": "10"})
        # The notice comes before the main window.
        self.assertEqual(driver.ok("visible", "main"), "0")
        driver.ok("click", 10, "msgbox")
        driver.ok("wait-no-msgbox", 10000)
        driver.wait_main()
        self.assertEqual(driver.rows(), [])
        self.assertEqual(driver.text(ID_BANNER), EN[9])

        self.ftp.add_file("/Software/TALVIX_FULL_250101.exe", 4096)
        self.ftp.start()
        driver.ok("click", ID_CHECK_SERVER)
        driver.ok("wait-list", EN[0], 20000)
        self.assertEqual(driver.rows(), [["Talvix-Main", "-", "250101", EN[0]]])
        self.assertEqual(driver.text(ID_BANNER), EN[11])
        self.assertEqual(listings(self.ftp), ["/Software"])
        self.exit(program, driver)


if __name__ == "__main__":
    unittest.main()
