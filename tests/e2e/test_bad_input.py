"""Bad input end to end: a server listing with hostile names and sizes at and beyond 32 bits.

The server's listing is crafted (ftpserver.py's fake_listing) so it can hold names no Unix file
system can: path separators, "..", a drive colon, control characters, device names, 259 and 300
characters, and a valid name too long to be launched from the work folder. The program must never
crash, never offer or write such a name (the offered row is the first safe setup file, and nothing
appears outside the work folder), and must do what its rules say for the rest: a Korean name is
offered and downloads, an empty setup file completes, a negative size is refused, and a size of
2^31 - 1 or more (which Wine's FTP client caps at 2^31 - 1) is asked of the server and never taken
for a smaller one.
"""
import os
import unittest

from harness import ID_BANNER, ID_CHECK_SERVER, ID_EXIT, ID_START, Driver, FtpFixture, text_table, wait_until
from hardening import PrefixWatch, demo_setup, log, prepare_program

EN = text_table()
KO = text_table(korean=True)
FOLDER = "/Software"
SAFE = "TALVIX_FULL_250101.exe"
LATER_SAFE = "TALVIX_FULL_999999.exe"
# Names that end in "exe" (so only the safety rules stand between them and the offered row), each
# with its own version digits so the row would tell which one was offered. The last one is safe
# but too long to be launched once saved in the work folder.
UNSAFE = [
    "../TALVIX_FULL_100001.exe",
    "..\\TALVIX_FULL_100002.exe",
    "..",
    "sub/../../TALVIX_FULL_100003.exe",
    "TALVIX\\..\\..\\Windows\\TALVIX_FULL_100004.exe",
    "C:TALVIX_FULL_100005.exe",
    "c:\\Windows\\TALVIX_FULL_100006.exe",
    "TALVIX_FULL_100007.exe:hidden",  # a stream of another file
    "TALVIX\x01FULL_100008.exe",
    "TALVIX_FULL\x1b100009.exe",
    "TALVIX_FULL_100010\x7f|.exe",
    "NUL.exe",
    "com1.exe",
    "A" * 248 + "_100011.exe",  # 259 characters
    "B" * 248 + "_100012.exe" + "C" * 41,  # 300 characters: the listing keeps the first 259
    "D" * 224 + "_100013.exe",  # a valid name, but from the work folder a path of 260 characters
]
KOREAN = "탈빅스_FULL_250101.exe"
TWO_GIB = 2 ** 31


class BadInputTest(unittest.TestCase):
    def setUp(self):
        self.ftp = FtpFixture(port=5301)
        self.addCleanup(self.ftp.cleanup)
        self.ftp.add_folder(FOLDER)
        self.ftp.start()

    def start(self, lang="en_US.UTF-8"):
        """Starts the program in a clean state; the prefix is watched from here on."""
        self.wine, self.program, self.work, self.record = prepare_program(self, lang)
        self.prefix = PrefixWatch(self.wine)
        self.program.start()
        self.driver = Driver(self.wine)
        self.driver.wait_main()
        return self.driver

    def serve_listing(self, entries):
        """The folder's listing becomes these [size, name] entries."""
        self.ftp.set_faults(fake_listing={FOLDER: [[size, name] for size, name in entries]})

    def work_files(self):
        return sorted(os.listdir(self.work)) if os.path.isdir(self.work) else []

    def retrieved(self):
        return [line for line in self.ftp.requests() if line.startswith("RETR ")]

    def assert_nothing_written_outside(self):
        self.assertEqual(self.prefix.changes(), [], "written outside the work folder")

    def assert_offered(self, version, texts=EN):
        self.driver.ok("wait-text", ID_BANNER, texts[11].split("\n")[0], 30000)
        rows = self.driver.rows()
        self.assertEqual(len(rows), 1, rows)
        self.assertEqual(rows[0][2:], [version, texts[0]])

    def download_and_hand_off(self, local, content, texts=EN):
        """Start; the row completes, the program hands off and ends; the work folder holds the file."""
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", texts[2], 60000)
        self.assertEqual(self.program.wait(60), 0)
        self.assertEqual(self.work_files(), [local])
        with open(os.path.join(self.work, local), "rb") as f:
            self.assertTrue(f.read() == content, "the downloaded bytes differ from the server's")

    def notice_after_start(self):
        self.driver.ok("click", ID_START)
        text = self.driver.answer_msgbox(60000)
        self.driver.ok("wait-enabled", 1, 10000)
        self.assertEqual(self.driver.text(ID_BANNER), text.split("\n")[0])
        return text

    def test_unsafe_names_are_passed_over_for_the_first_safe_setup_file(self):
        content = self.ftp.add_file(FOLDER + "/" + SAFE, demo_setup(1000))
        self.ftp.add_file(FOLDER + "/" + LATER_SAFE, 1000)
        self.serve_listing([(1000, name) for name in UNSAFE] +
                           [(len(content), SAFE), (1000, LATER_SAFE)])
        self.start()
        self.assert_offered("250101")
        self.download_and_hand_off(SAFE.upper(), content)
        self.assertEqual(self.retrieved(), ["RETR %s/%s" % (FOLDER, SAFE)])
        wait_until(lambda: os.path.exists(self.record), 30, "the setup program to start")
        self.assert_nothing_written_outside()

    def test_only_unsafe_names_offer_nothing(self):
        self.serve_listing([(1000, name) for name in UNSAFE])
        driver = self.start()
        driver.ok("wait-text", ID_BANNER, EN[12].split("\n")[0], 30000)
        self.assertEqual(driver.rows(), [])
        self.assertEqual(self.notice_after_start(), EN[25])  # no row to start
        self.assertEqual(self.retrieved(), [])
        self.assertEqual(self.work_files(), [])
        self.assert_nothing_written_outside()
        driver.ok("click", ID_EXIT)
        self.assertEqual(self.program.wait(30), 18)

    def test_korean_name_is_offered_and_downloads(self):
        # A Korean Windows reads the listing in its ANSI code page, so the server sends that.
        name_on_server = KOREAN.encode("cp949").decode("utf-8", "surrogateescape")
        content = self.ftp.add_file(FOLDER + "/" + name_on_server, demo_setup(5000))
        self.start("ko_KR.UTF-8")
        self.assert_offered("250101", KO)
        local = KOREAN[:-3] + "EXE"
        self.download_and_hand_off(local, content, KO)
        wait_until(lambda: os.path.exists(self.record), 30, "the setup program to start")
        with open(self.record, encoding="utf-8") as f:
            self.assertIn(local.lower(), f.read().splitlines()[0].lower())
        self.assert_nothing_written_outside()

    def test_empty_setup_file_downloads_completes_and_its_failed_start_is_reported(self):
        self.ftp.add_file(FOLDER + "/" + SAFE, b"")
        self.start()
        self.assert_offered("250101")
        # An empty file is no program: it is refused and says so; the window stays, and the refused
        # file does not stay in the work folder.
        self.assertEqual(self.notice_after_start(), EN[13] + "\n" + EN[14])
        self.assertEqual(self.driver.rows()[0][3], EN[2])
        self.assertIn("RETR %s/%s" % (FOLDER, SAFE), self.ftp.requests())
        self.assertEqual(self.work_files(), [])
        self.assertFalse(os.path.exists(self.record))
        self.assert_nothing_written_outside()

    def test_sizes_at_and_beyond_32_bits(self):
        self.ftp.add_file(FOLDER + "/" + SAFE, 50000)
        # Each listed size, and what the rules give. Wine's FTP client reads listed sizes with atol,
        # which stops at 2^31 - 1, so 2^31 - 1 and every larger size arrive as 2^31 - 1: such a size
        # is asked of the server (SIZE), which tells the true 50000 bytes, and the whole file is
        # fetched; unsigned, it is then refused at the hand-off (13, 14) and removed. A listed -1 arrives as
        # 2^32 - 1 bytes: the file ends short of it attempt after attempt, so the download ends with
        # the read failure (19, 10) and keeps nothing.
        refused = EN[13] + "\n" + EN[14]
        short = EN[19] + "\n" + EN[10]
        cases = [(TWO_GIB - 1, refused), (TWO_GIB, refused), (2 ** 32 + 100, refused), (5 * 10 ** 9, refused),
                 (-1, short)]
        for index, (size, expected) in enumerate(cases):
            self.serve_listing([(size, SAFE)])
            if index == 0:
                self.start()
            else:
                self.driver.ok("click", ID_CHECK_SERVER)
            self.assert_offered("250101")
            self.ftp.clear_requests()
            text = self.notice_after_start()
            log("bad input: listed size %d gave %r" % (size, text))
            self.assertEqual(text, expected, "listed size %d" % size)
            if expected == refused:
                self.assertEqual(len(self.retrieved()), 1, "listed size %d" % size)
                self.assertIn("SENT %s/%s 50000" % (FOLDER, SAFE), self.ftp.requests(), "listed size %d" % size)
            self.assertEqual(self.work_files(), [], "a file was left for size %d" % size)
            self.assertTrue(self.program.running())
        self.assert_nothing_written_outside()
        self.driver.ok("click", ID_EXIT)
        self.assertEqual(self.program.wait(30), 18)


if __name__ == "__main__":
    unittest.main()
