"""The demo: a local update server with a demo catalogue, and the real program against it.

With a display (DISPLAY set and --drive not given) the program simply runs for you to use.
Without one (scripts/demo.sh starts Xvfb) the demo drives the whole road itself and keeps a
screenshot of each step under build/demo/.

--https serves the catalogue over HTTPS instead of FTP, as a web host or CDN would: a local HTTPS
server whose test certificate authority only the demo's Wine prefix trusts, and the maker's signed
release statement beside the setup program. --proxy adds a local proxy set as the prefix's system
proxy; the program reaches the server through it (the proxy prints each CONNECT in its log).
"""
import argparse
import contextlib
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import (BIN, BUILD, ID_START, SETUP_RECORD, Driver, FtpFixture, Program, Wine,  # noqa: E402
                     demo_setup_signed, install_scanner, publish_release, screenshot, wait_until)
from https_fixture import HttpsFixture, trust_certificate, trust_test_ca  # noqa: E402
from proxy_fixture import ProxyFixture, set_system_proxy  # noqa: E402
from signing import Signer  # noqa: E402

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


def serve(stack, wine, https, proxy):
    """Starts the demo update server (FTP, or HTTPS with the signed statement, optionally behind a
    proxy); returns what the program is told of its sources and the server, to set faults on."""
    setup = demo_setup_bytes()
    if not https:
        ftp = stack.enter_context(FtpFixture(port=5301))
        ftp.add_file("/Software/" + SETUP_NAME, setup)
        ftp.add_file("/Software/readme.txt", b"TALVIX demo update server\r\n")
        print("Demo update server: ftp://127.0.0.1:5301/Software/ (%s)" % SETUP_NAME)
        return {}, ftp
    # The statement's signer and the server's CA are trusted by this prefix alone, as a maker's
    # would be by every PC.
    signer = Signer.make(os.path.join(BUILD, "signing"), "a")
    trust_test_ca(wine.env)
    trust_certificate(wine.env, signer.cert)
    web = stack.enter_context(HttpsFixture(max_lifetime=24 * 3600))
    web.add_file("/Software/" + SETUP_NAME, setup)
    publish_release(web, "/Software", signer)
    print("Demo update server: %s (%s, release.txt signed)" % (web.url("/Software/"), SETUP_NAME))
    if proxy:
        tunnel = stack.enter_context(ProxyFixture(max_lifetime=24 * 3600))
        stack.callback(set_system_proxy(wine, tunnel.address))
        stack.callback(lambda: print("The proxy's log:\n  " + "\n  ".join(tunnel.requests())))
        print("System proxy of the demo's Wine prefix: %s" % tunnel.address)
    return {"QV_TEST_UPDATE_SOURCES": web.url("/")}, web


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--drive", action="store_true", help="drive the road and take screenshots")
    ap.add_argument("--https", action="store_true", help="serve over HTTPS with the maker's signed statement")
    ap.add_argument("--proxy", action="store_true", help="with --https: through a local proxy as the system's proxy")
    args = ap.parse_args()
    lang = os.environ.get("LANG", "en_US.UTF-8")
    if not lang.startswith("ko_KR"):
        lang = "en_US.UTF-8"
    wine = Wine(lang=lang)
    os.makedirs(OUT, exist_ok=True)
    install_scanner(wine, "3.2.0.1")  # an installed scanner, so the row shows its version

    with contextlib.ExitStack() as stack:
        env, server = serve(stack, wine, args.https or args.proxy, args.proxy)
        if args.drive:
            server.set_faults(rate=2 * 1024 * 1024)
            env["QV_SETUP_AUTOCLOSE_MS"] = "4000"
        program = Program(wine, extra_env=env)
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
