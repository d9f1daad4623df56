"""The window at today's screen densities: everything scales from the 96-DPI layout by one factor,
the window stays on the screen, follows a DPI change, and the road works by clicks where the
scaled controls are. Keeps a screenshot per DPI and language."""
import os
import unittest

from harness import (ID_CHECK_SERVER, ID_EXIT, ID_LIST, ID_START, WORK_FOLDER, Driver, Program, RoadTest, Wine,
                     click_screen, scaled, screen_size, screenshot, screenshot_dir)
from test_download import REMOTE, demo_setup

DPIS = (96, 120, 144, 192)
LANGUAGES = {"en": "en_US.UTF-8", "ko": "ko_KR.UTF-8"}
WINDOW = (562, 598)
# Layout rectangles (96 DPI) of the main window's client area.
LAYOUT = {ID_EXIT: (506, 9, 560, 47), ID_CHECK_SERVER: (140, 265, 276, 307), ID_START: (310, 265, 446, 307),
          ID_LIST: (15, 325, 550, 580)}


def rect_at(layout, dpi):
    return tuple(scaled(v, dpi) for v in layout)


class DpiTest(RoadTest):
    def at_dpi(self, dpi, lang="en_US.UTF-8"):
        """A Wine session at the DPI and the program started in it with the offered row."""
        self.wine = Wine(lang=lang)
        self.wine.set_dpi(dpi)
        self.addCleanup(self.wine.set_dpi, 96)
        self.program = Program(self.wine).start()
        self.addCleanup(self.program.kill)
        self.driver = Driver(self.wine)
        self.driver.wait_main()
        self.driver.ok("wait-list", "250101", 30000)
        return self.driver

    def assert_laid_out_at(self, dpi):
        left, top, right, bottom = self.driver.rect()
        self.assertEqual((right - left, bottom - top), rect_at(WINDOW, dpi))
        width, height = screen_size()
        self.assertTrue(0 <= left and right <= width and 0 <= top and bottom <= height, (left, top, right, bottom))
        for control, layout in LAYOUT.items():
            self.assertEqual(tuple(int(v) for v in self.driver.ok("client-rect", control).split()),
                             rect_at(layout, dpi), control)

    def test_every_dpi_in_both_languages_scales_the_layout(self):
        self.ftp.add_file(REMOTE, 4096)
        self.ftp.start()
        for dpi in DPIS:
            for short, lang in LANGUAGES.items():
                with self.subTest(dpi=dpi, language=short):
                    self.at_dpi(dpi, lang)
                    self.assert_laid_out_at(dpi)
                    screenshot(self.driver, os.path.join(screenshot_dir(), "dpi%d-%s.png" % (dpi, short)))
                    if dpi == 96 and short == "en":
                        # Moved to a monitor of 144 DPI and back: laid out at each, still on the screen.
                        self.driver.ok("dpi-changed", 144)
                        self.assert_laid_out_at(144)
                        self.driver.ok("dpi-changed", 96)
                        self.assert_laid_out_at(96)
                    self.driver.ok("close")
                    self.assertEqual(self.program.wait(30), 0)

    def test_road_at_144_dpi_by_clicks_at_the_scaled_places(self):
        served = self.ftp.add_file(REMOTE, demo_setup(200000))
        self.ftp.start()
        self.at_dpi(144)
        left, top, _, _ = self.driver.rect()

        def click(control):
            x0, y0, x1, y1 = rect_at(LAYOUT[control], 144)
            click_screen(left + (x0 + x1) // 2, top + (y0 + y1) // 2)

        # Check Server lists the folder again; Start downloads the offered (checked) row.
        self.ftp.clear_requests()
        click(ID_CHECK_SERVER)
        self.ftp.wait_for_request("LIST /Software", 20)
        self.driver.ok("wait-list", "250101", 20000)
        click(ID_START)
        self.launch_record()
        self.assertEqual(self.program.wait(60), 0)
        with open(os.path.join(self.wine.unix(WORK_FOLDER), os.path.basename(REMOTE).upper()), "rb") as f:
            self.assertEqual(f.read(), served)


if __name__ == "__main__":
    unittest.main()
