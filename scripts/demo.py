"""The demo: a local update server with a demo catalogue, and the real program against it.

With a display (DISPLAY set and --drive not given) the program simply runs for you to use.
Without one (scripts/demo.sh starts Xvfb) the demo drives the whole road itself and keeps a
screenshot of each step under build/demo/.
"""
import argparse
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import (BIN, BUILD, ID_START, SETUP_RECORD, Driver, FtpFixture, Program, Wine,  # noqa: E402
                     demo_setup_signed, install_scanner, screenshot, wait_until)

SETUP_NAME = "TALVIX_FULL_250101.exe"
OUT = os.path.join(BUILD, "demo")


def demo_setup_bytes():
    """The demo setup program, padded to 8 MB so the progress is visible on a throttled line, and
    signed with a throwaway certificate made under build/signing, as the program launches only
    signed setups."""
    size = os.path.getsize(os.path.join(BIN, "DemoSetup.exe"))
    return demo_setup_signed(max(0, 8 * 1024 * 1024 - size))


def step(driver, n, name):
    path = os.path.join(OUT, "%02d-%s.png" % (n, name))
    try:
        screenshot(driver, path)
        print("  step %d: %s -> %s" % (n, name, path))
    except Exception as e:  # a screenshot is a record, not the road itself
        print("  step %d: %s (no screenshot: %s)" % (n, name, e))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--drive", action="store_true", help="drive the road and take screenshots")
    args = ap.parse_args()
    lang = os.environ.get("LANG", "en_US.UTF-8")
    if not lang.startswith("ko_KR"):
        lang = "en_US.UTF-8"
    wine = Wine(lang=lang)
    os.makedirs(OUT, exist_ok=True)
    install_scanner(wine, "3.2.0.1")  # an installed scanner, so the row shows its version

    with FtpFixture(port=5301) as ftp:
        ftp.add_file("/Software/" + SETUP_NAME, demo_setup_bytes())
        ftp.add_file("/Software/readme.txt", b"TALVIX demo update server\r\n")
        print("Demo update server: ftp://127.0.0.1:5301/Software/ (%s)" % SETUP_NAME)
        if args.drive:
            ftp.set_faults(rate=2 * 1024 * 1024)
        program = Program(wine, extra_env={"QV_SETUP_AUTOCLOSE_MS": "4000"} if args.drive else None)
        record = wine.unix(SETUP_RECORD)
        if os.path.exists(record):
            os.remove(record)
        program.start()
        if not args.drive:
            print("QuorvelDownloader is running; close it to end the demo.")
            code = program.wait(timeout=24 * 3600)
            print("QuorvelDownloader ended with exit code %d" % code)
            return 0

        driver = Driver(wine)
        try:
            driver.wait_main()
            time.sleep(0.5)
            step(driver, 1, "server-checked")
            driver.ok("click", ID_START)
            wait_until(lambda: "%" in driver.ok("list"), 30, "progress in the row")
            step(driver, 2, "downloading")
            wait_until(lambda: os.path.exists(record), 120, "the setup program to start")
            time.sleep(1.5)
            screen = os.path.join(OUT, "03-setup-started.png")
            subprocess.run(["/usr/bin/import", "-window", "root", screen], timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            print("  step 3: the setup program started -> %s" % screen)
            code = program.wait(60)
            print("  the program handed over to the setup program and ended (exit code %d)" % code)
            with open(record, encoding="utf-8") as f:
                print("  the demo setup program recorded:\n    " + f.read().strip().replace("\r\n", "\n    "))
        finally:
            program.kill()
    print("Screenshots: %s" % OUT)
    return 0


if __name__ == "__main__":
    sys.exit(main())
