"""Start Installation in the real program: the download, the hand-off to the setup program, every
failure the user can meet on the way, a line that breaks or goes silent, closing the program
while a download runs, and a download the program's end cut that the next run goes on with."""
import os
import subprocess
import threading
import time
import unittest

from harness import (BIN, BUILD, ID_BANNER, ID_CHECK_SERVER, ID_EXIT, ID_LIST, ID_START, WORK_FOLDER, DiagnosticsLog,
                     Driver, Program, RoadTest, demo_setup_signed, install_scanner, publish_release, text_table,
                     wait_until)
from ftp_fixture import PASSWORD
from https_fixture import trust_certificate
from signing import Signer

EN = text_table()
SETUP = "TALVIX_FULL_250101.exe"
REMOTE = "/Software/" + SETUP
LOCAL = SETUP.upper()
# Row 0 of the item list, inside the check-box zone (left of the version columns).
CHECK_BOX_POINT = (100, 56)
# A poor line's bounds, shortened for the tests (silence, slow-line window, first retry pause in ms).
SHORT_LINE_BOUNDS = {"QV_TEST_LINE_BOUNDS": "2000,60000,200"}
RETRYING = EN[18].replace("%s", SETUP)


def demo_setup(size):
    """The demo setup program, padded with random bytes to about the size given, signed."""
    return demo_setup_signed(max(0, size - os.path.getsize(os.path.join(BIN, "DemoSetup.exe"))))


class Watch:
    """Collects every text a control shows, from now until the main window has gone."""

    def __init__(self, driver, control, timeout_ms=120000):
        self.seen = []
        self.thread = threading.Thread(target=self._run, args=(driver, control, timeout_ms), daemon=True)
        self.thread.start()

    def _run(self, driver, control, timeout_ms):
        _, out = driver("watch", control, timeout_ms, timeout=timeout_ms / 1000 + 30)
        self.seen = [(line[0] == "1", line[2:]) for line in out.split("\n") if line[:2] in ("0 ", "1 ")]

    def result(self, timeout=60):
        """(main window enabled, text) for every change seen."""
        self.thread.join(timeout)
        return self.seen


class DownloadTest(RoadTest):
    def setUp(self):
        super().setUp()
        self.local = os.path.join(self.work, LOCAL)

    def start(self, content=100000, line_bounds=SHORT_LINE_BOUNDS, **faults):
        """Serves the setup file, starts the program and waits for the offered row."""
        self.served = self.ftp.add_file(REMOTE, content)
        self.ftp.set_faults(**faults)
        self.ftp.start()
        # The setup program it launches stays until the clean-up ends the Wine session.
        self.program = Program(self.wine, extra_env=line_bounds).start()
        self.addCleanup(self.program.kill)
        self.driver = Driver(self.wine)
        self.driver.wait_main()
        self.assertEqual(self.driver.rows()[0][3], EN[0])
        return self.driver

    def start_scanner(self):
        """A running stand-in TALVIX.exe (ended at clean-up if the program did not end it)."""
        path = install_scanner(self.wine)
        scanner = subprocess.Popen(["wine", path, "120"], env=self.wine.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(self.end_process, scanner)
        wait_until(lambda: self.driver("cmdline", "TALVIX.exe")[0] == 0, 30, "the stand-in scanner to run")
        return scanner

    @staticmethod
    def end_process(process):
        if process.poll() is None:
            process.kill()
            process.wait(10)

    def notice_after_start(self):
        self.driver.ok("click", ID_START)
        return self.driver.answer_msgbox()

    def assert_usable_again(self, banner):
        """After a failure: the dialog is enabled, the banner keeps the notice, Check Server works."""
        self.driver.ok("wait-enabled", 1, 10000)
        self.assertEqual(self.driver.text(ID_BANNER), banner)
        self.ftp.clear_requests()
        self.driver.ok("click", ID_CHECK_SERVER)
        self.ftp.wait_for_request("LIST /Software", 20)
        self.driver.ok("wait-text", ID_BANNER, EN[11].split("\n")[0], 20000)
        self.assertEqual(self.driver.rows()[0][3], EN[0])

    def bytes_served(self):
        """Bytes sent by every data connection of the setup file, in order."""
        prefix = "SENT " + REMOTE + " "
        return [int(line[len(prefix):]) for line in self.ftp.requests() if line.startswith(prefix)]

    def place_in_work_folder(self, name, folder=False):
        """Puts a file (or a folder) into the work folder after the server check has emptied it."""
        os.makedirs(self.work, exist_ok=True)
        path = os.path.join(self.work, name)
        if folder:
            os.makedirs(path)
        else:
            with open(path, "wb") as f:
                f.write(b"placed by the test")
        return path

    def test_road_downloads_ends_the_scanner_and_launches_the_setup(self):
        log = DiagnosticsLog(self.wine)
        self.start(demo_setup(400000), rate=800000)
        scanner = self.start_scanner()
        watch = Watch(self.driver, ID_LIST)
        self.driver.ok("click", ID_START)
        record = self.launch_record()
        # The launch goes through the upper-case path of the downloaded file.
        self.assertEqual(self.driver.ok("cmdline", LOCAL).strip('"'), "C:\\WINDOWS\\TEMP\\QVUPDATE\\" + LOCAL)
        self.assertEqual(self.program.wait(60), 0)
        self.assertIsNotNone(scanner.wait(30))  # the running scanner was ended

        # A row is four cells and its check state.
        seen = [(enabled, row.split("\t")[3]) for enabled, row in watch.result() if row.count("\t") == 4]
        statuses = [status for _, status in seen]
        self.assertEqual(statuses[-1], EN[2])
        progress = [(enabled, status) for enabled, status in seen if status not in (EN[0], EN[2])]
        self.assertTrue(progress and all(status.endswith(" / 100[%]") for _, status in progress), statuses)
        self.assertFalse(any(enabled for enabled, _ in progress))  # the dialog is disabled meanwhile
        percents = [int(status.split("/")[0]) for _, status in progress]
        self.assertEqual(percents, sorted(percents))
        with open(self.local, "rb") as f:
            self.assertEqual(f.read(), self.served)
        self.assertIn("path=" + WORK_FOLDER.lower() + "\\" + LOCAL.lower(), record.lower())
        # One file: no hand-off list.
        self.assertEqual(sorted(os.listdir(self.work)), [LOCAL])

        # The diagnostics log tells the road: start, server check, download, checks, launch.
        self.assertEqual((log.event("start")["edition"], log.event("start")["channel"]), ('""', "release"))
        listed = log.event("server.listed")
        self.assertEqual((listed["folder"], listed["entries"], listed["offered"]), ("/Software", "1", SETUP))
        size = str(len(self.served))
        self.assertEqual(log.event("download.start")["listed_size"], size)
        self.assertEqual(log.event("download.done")["bytes"], size)
        self.assertEqual(log.event("download.done")["setup_check"], "ready")
        # The line's part comes before the setup's checks and the final pause.
        self.assertLess(int(log.event("download.received")["ms"]), int(log.event("download.done")["ms"]))
        self.assertEqual(log.event("setup.digest")["result"], "match")
        self.assertEqual(log.event("setup.signature")["launch"], "allowed")
        self.assertEqual(log.event("scanner.close")["ended"], "yes")
        launch = log.event("handoff.launch")
        self.assertEqual(launch["started"], "yes")
        self.assertIn(LOCAL, launch["file"])
        self.assertNotIn(PASSWORD, "\n".join(log.lines()))

    def test_a_file_left_in_the_work_folder_is_neither_listed_nor_launched(self):
        self.start(demo_setup(100000))
        left = self.place_in_work_folder("TALVIX_FULL_999999.EXE")  # a higher number than the download's
        self.driver.ok("click", ID_START)
        self.assertEqual(self.program.wait(60), 0)
        record = self.launch_record()
        self.assertIn(LOCAL.lower(), record.splitlines()[0].lower())
        self.assertFalse(os.path.exists(os.path.join(self.work, "NEXT_UPDATE_INFO.INI")))
        self.assertFalse(os.path.exists(left), "a file this run did not write was left beside the setup")

    def test_no_row_checked_gives_25(self):
        self.start()
        self.driver.ok("click-at", ID_LIST, *CHECK_BOX_POINT)
        self.assertEqual(self.notice_after_start(), EN[25])
        self.assertNotIn("RETR " + REMOTE, self.ftp.requests())  # no download was tried
        self.assert_usable_again(EN[25])

    def test_setup_that_does_not_start_leaves_a_completed_row_and_start_then_gives_22(self):
        self.start(os.urandom(70000))  # not a program
        self.assertEqual(self.notice_after_start(), EN[13] + "\n" + EN[14])
        self.assertEqual(self.driver.rows()[0][3], EN[2])
        self.assertFalse(os.path.exists(self.record))
        self.assertTrue(self.program.running())
        self.assertEqual(self.notice_after_start(), EN[22])
        self.assertEqual(self.ftp.requests().count("RETR " + REMOTE), 1)
        self.assert_usable_again(EN[22])

    def test_file_gone_from_the_server_gives_16(self):
        self.start(remove_after_list=[REMOTE])
        self.assertEqual(self.notice_after_start(), EN[16])
        self.ftp.set_faults()
        self.ftp.add_file(REMOTE, 1000)
        self.assert_usable_again(EN[16])

    def test_refused_login_at_download_gives_15_and_14(self):
        self.start()
        self.ftp.set_faults(refuse_login=True)
        self.assertEqual(self.notice_after_start(), EN[15] + "\n" + EN[14])
        self.ftp.set_faults()
        self.assert_usable_again(EN[15])

    def test_short_file_gives_19_and_10_after_the_retries_and_leaves_no_partial_file(self):
        self.start(300000, size_override={REMOTE: 400000})
        self.assertEqual(self.notice_after_start(), EN[19] + "\n" + EN[10])
        self.assertFalse(os.path.exists(self.local))
        # Asked again from 4 KiB before the bytes on disk, never more bytes.
        self.assertEqual(self.ftp.requests().count("REST %d" % (300000 - 4096)), 5)
        # The row keeps its last percentage, so it is no longer "Updatable".
        self.assertTrue(self.driver.rows()[0][3].endswith("/ 100[%]"))
        self.assertEqual(self.notice_after_start(), EN[22])
        self.assert_usable_again(EN[22])

    def test_reset_data_connection_resumes_and_the_setup_is_launched(self):
        self.start(demo_setup(600000), rate=800000, drop_after={REMOTE: 250000}, drops=2)
        self.driver.ok("click", ID_START)
        self.launch_record()
        self.assertEqual(self.program.wait(60), 0)
        with open(self.local, "rb") as f:
            self.assertEqual(f.read(), self.served)
        # The second and third connections went on from the bytes on disk: only what each reset lost
        # in flight came twice, never the file from its start.
        offsets = [int(line.split()[1]) for line in self.ftp.requests() if line.startswith("REST ")]
        self.assertEqual(len(offsets), 2)
        self.assertTrue(0 < offsets[0] < offsets[1] <= 500000, offsets)
        self.assertEqual(self.bytes_served()[-1], len(self.served) - offsets[1])
        self.assertLess(sum(self.bytes_served()) - len(self.served), 250000)

    def test_server_ignoring_rest_sends_the_whole_file_again(self):
        self.start(demo_setup(400000), rate=800000, drop_after={REMOTE: 150000}, drops=1, ignore_rest=True)
        self.driver.ok("click", ID_START)
        self.launch_record()
        self.assertEqual(self.program.wait(60), 0)
        with open(self.local, "rb") as f:
            self.assertEqual(f.read(), self.served)
        self.assertEqual(self.bytes_served()[-1], len(self.served))  # the last time from byte 0, whole

    def test_server_that_stops_sending_ends_with_19_and_10_within_the_bounds(self):
        self.start(400000, rate=800000, stall_after={REMOTE: 100000})
        seen = []
        banner = threading.Thread(target=lambda: seen.append(self.driver("wait-text", ID_BANNER, RETRYING, 40000)[0]))
        banner.start()
        started = time.monotonic()
        self.assertEqual(self.notice_after_start(), EN[19] + "\n" + EN[10])
        # One silence after the first bytes, then five attempts without a byte, and their pauses.
        self.assertLess(time.monotonic() - started, 45)
        self.assertFalse(os.path.exists(self.local))
        self.assertGreaterEqual(len([line for line in self.ftp.requests() if line.startswith("REST ")]), 5)
        banner.join(60)
        self.assertEqual(seen, [0])  # the banner said it was reconnecting
        self.assert_usable_again(EN[19])

    def test_exit_stops_a_download_held_by_a_silent_server(self):
        # The real bounds: the read waits on the silent server when Exit is pressed.
        self.start(3000000, line_bounds={}, rate=800000, stall_after={REMOTE: 200000})
        scanner = self.start_scanner()
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", "/ 100[%]", 20000)
        time.sleep(1)  # the server has gone silent by now
        pressed = time.monotonic()
        self.driver.ok("click", ID_EXIT)
        self.assertEqual(self.program.wait(30), 18)
        self.assertLess(time.monotonic() - pressed, 4)
        self.assertFalse(os.path.exists(self.local))
        self.assertFalse(os.path.exists(self.record))
        self.assertIsNone(scanner.poll())  # nothing was ended

    def test_unwritable_local_path_gives_29(self):
        self.start()
        self.place_in_work_folder(LOCAL, folder=True)
        self.assertEqual(self.notice_after_start(), EN[29])
        self.assert_usable_again(EN[29])

    def test_closing_during_a_download_ends_cleanly(self):
        self.start(3000000, rate=300000)
        self.driver.ok("click", ID_START)
        self.driver.ok("wait-list", "/ 100[%]", 20000)
        self.assertEqual(self.driver("click", ID_START)[0], 3)  # a second start is refused
        self.driver.ok("close")
        self.assertEqual(self.program.wait(30), 0)
        self.assertFalse(os.path.exists(self.local))
        self.assertFalse(os.path.exists(self.record))
        self.assertEqual(self.ftp.requests().count("RETR " + REMOTE), 1)

    def test_a_download_cut_by_the_programs_end_goes_on_from_its_bytes_in_the_next_run(self):
        # The maker's statement names the file, so its bytes outlive the program: a power cut (the
        # whole Wine session killed) mid-file, then a run that asks the server for the rest only.
        signer = Signer.make(os.path.join(BUILD, "signing"), "a")
        trust_certificate(self.wine.env, signer.cert)
        content = demo_setup(3000000)
        self.ftp.add_file(REMOTE, content)
        publish_release(self.ftp, "/Software", signer)
        self.ftp.set_faults(rate=600000)
        self.ftp.start()
        kept = os.path.join(self.kept, LOCAL + ".partial")
        first = Program(self.wine, args=["/update", "/quiet"], extra_env=SHORT_LINE_BOUNDS).start()
        self.addCleanup(first.kill)
        wait_until(lambda: os.path.exists(kept) and os.path.getsize(kept) > 1000000, 60, "a megabyte kept")
        first.kill()
        on_disk = os.path.getsize(kept)
        self.assertFalse(os.path.exists(self.record))

        self.ftp.clear_requests()
        self.ftp.set_faults()
        second = Program(self.wine, args=["/update", "/quiet"]).start()
        self.addCleanup(second.kill)
        self.assertEqual(second.wait(120), 0)
        self.assertIn(LOCAL, self.launch_record().upper())
        # Asked for the rest, from a little before the end of the kept bytes, and sent only that.
        rests = [int(r.split()[1]) for r in self.ftp.requests() if r.startswith("REST ")]
        self.assertTrue(rests and on_disk - 65536 <= rests[0] < on_disk, (rests, on_disk))
        self.assertEqual(self.bytes_served(), [len(content) - rests[0]])
        self.assertEqual(os.listdir(self.kept), [])


if __name__ == "__main__":
    unittest.main()
