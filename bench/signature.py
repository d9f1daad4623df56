"""The cost of the setup program's check before the launch, against the download it follows.

    bench/signature.py [--build build/win32] [--prefix build/wine64] [--mib 64]

Signs the demo setup program padded to 64 MiB with a throwaway certificate (tests/fixtures/signing.py),
times the program's check of it as the download worker runs it (BenchSignature.exe: the file held,
its SHA-256 against the download's and its signature, WinVerifyTrust plus the signer's fingerprint,
side by side) and each pass alone, and, in the same run, the program's own transfer path
downloading that file unthrottled from a local test server (BenchTransfer.exe program). The worker
runs the check in its final 500 ms pause, so the road grows only by what the check takes beyond
it. Prints the times and that growth against the download, unthrottled and on a 12.5 MB/s
(100 Mbit/s) line. Then the whole program on that line, driven from outside (BenchWatch.exe), times
its road from "Completed" in the list to the window gone after the launch, once with the signed
64 MiB setup and once with the same setup signed at 1 MiB, whose check hides in the pause: the
difference is what the check adds to the real road.
Needs the win32 build's QuorvelDownloader, DemoSetup, QvDriver, BenchSignature, BenchTransfer and
BenchWatch, a Wine prefix and a display (run it under xvfb-run); the whole program needs port 5301.
"""
import argparse
import fcntl
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MIB = 1 << 20
LINE_RATE = 12_500_000
FINAL_PAUSE_S = 0.5
NAME = "TALVIX_FULL_250101.exe"
FOLDER = r"c:\Windows\Temp\QVBenchSignature"
PORT_LOCK = "/tmp/qv-port5301.lock"
ROAD_RUNS = 5


def key_values(text):
    return dict(line.split("=", 1) for line in text.replace("\r", "").splitlines() if "=" in line)


def road_tails(wine, build, setups):
    """Per setup (name -> signed bytes): seconds from "Completed" in the list to the main window
    gone, medians of ROAD_RUNS runs of the real program at LINE_RATE."""
    from harness import (ID_BANNER, SETUP_RECORD, WORK_FOLDER, Driver, FtpFixture, Program,  # noqa: E402
                         text_table, wait_until)
    watch = os.path.join(build, "BenchWatch.exe")
    invitation = text_table()[11].split("\n")[0]
    tails = {}
    with open(PORT_LOCK, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for name, data in setups.items():
            with FtpFixture(port=5301) as ftp:
                ftp.add_file("/Software/" + NAME, data)
                ftp.set_faults(rate=LINE_RATE)
                runs = []
                for _ in range(ROAD_RUNS):
                    for path in (wine.unix(SETUP_RECORD), os.path.join(wine.unix(WORK_FOLDER), NAME.upper())):
                        if os.path.exists(path):
                            os.remove(path)
                    program = Program(wine, extra_env={"QV_SETUP_AUTOCLOSE_MS": "200"}).start()
                    driver = Driver(wine)
                    driver.wait_main()
                    driver.ok("wait-text", ID_BANNER, invitation, 30000)
                    rc, out = wine.run([watch, "download", "Completed", "300000", "closed"], timeout=330)
                    result = key_values(out.decode("utf-8", "replace"))
                    if rc != 0 or program.wait(60) != 0:
                        raise SystemExit("the program's road with the %s setup failed (%d): %r" % (name, rc, out))
                    wait_until(lambda: os.path.exists(wine.unix(SETUP_RECORD)), 30, "the launched setup program")
                    runs.append(float(result["closed"]) - float(result["seconds"]))
                tails[name] = statistics.median(runs)
            wine.kill_server()
    return tails


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "win32"))
    ap.add_argument("--prefix", default=os.path.join(ROOT, "build", "wine64"))
    ap.add_argument("--mib", type=int, default=64)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    os.environ["QV_BIN"] = args.build
    os.environ["WINEPREFIX"] = args.prefix
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    from harness import BUILD, FtpFixture, Wine  # noqa: E402
    from signing import Signer  # noqa: E402

    wine = Wine(args.prefix)
    with open(os.path.join(args.build, "DemoSetup.exe"), "rb") as f:
        image = f.read()
    size = args.mib * MIB
    signer = Signer.make(os.path.join(BUILD, "signing"), "a")
    signed = signer.sign(image + os.urandom(size - len(image) - 4096))
    folder = wine.unix(FOLDER)
    os.makedirs(folder, exist_ok=True)
    local = os.path.join(folder, NAME.upper())
    with open(local, "wb") as f:
        f.write(signed)

    rc, out = wine.run([os.path.join(args.build, "BenchSignature.exe"), FOLDER + "\\" + NAME.upper(),
                        str(args.runs)], timeout=900)
    check = key_values(out.decode("utf-8", "replace"))
    if rc != 0 or check.get("content") != "intact" or check.get("allowed") != "1" or check.get("verdict") != "ready":
        raise SystemExit("BenchSignature failed (%d): %r" % (rc, out))
    os.remove(local)

    downloads = []
    with FtpFixture(port=0) as ftp:
        ftp.add_file("/Software/" + NAME, signed)
        for _ in range(3):
            rc, out = wine.run([os.path.join(args.build, "BenchTransfer.exe"), "program", "127.0.0.1",
                                str(ftp.port), NAME, str(len(signed)), FOLDER,
                                "Z:" + os.path.join(args.build, "QuorvelDownloader.exe").replace("/", "\\")],
                               timeout=900)
            result = key_values(out.decode("utf-8", "replace"))
            if rc != 0 or result.get("result") != "ok":
                raise SystemExit("BenchTransfer failed (%d): %r" % (rc, out))
            downloads.append(float(result["seconds"]))
            os.remove(local)
    wine.kill_server()
    os.rmdir(folder)
    small = signer.sign(image + os.urandom(MIB - len(image) - 4096))
    tails = road_tails(wine, args.build, {"1 MiB": small, "%d MiB" % args.mib: signed})

    held_s = float(check["held_ms"]) / 1000
    added_s = max(0.0, held_s - FINAL_PAUSE_S)
    download_s = statistics.median(downloads)
    line_s = len(signed) / LINE_RATE
    print("file: %d MiB, signed, verdict %s/%s" % (args.mib, check["content"], check["chain"]))
    print("check as the worker runs it (median of %d): %.3f s; alone, the signature %.3f s and the SHA-256 %.3f s"
          % (args.runs, held_s, float(check["check_ms"]) / 1000, float(check["digest_ms"]) / 1000))
    print("added to the road beyond the %.1f s final pause: %.3f s" % (FINAL_PAUSE_S, added_s))
    sequential_s = (float(check["check_ms"]) + float(check["digest_ms"])) / 1000
    print("for comparison, the two passes one after the other after the pause: %.3f s" % sequential_s)
    print("download by the transfer path, unthrottled (median of 3): %.2f s" % download_s)
    print("added / unthrottled download: %.3f" % (added_s / download_s))
    print("added / download at 12.5 MB/s (%.2f s): %.3f (one after the other: %.3f)"
          % (line_s, added_s / line_s, sequential_s / line_s))
    small_tail, big_tail = tails["1 MiB"], tails["%d MiB" % args.mib]
    road_added = max(0.0, big_tail - small_tail)
    print("whole program at 12.5 MB/s, \"Completed\" to the window gone after the launch (median of %d): "
          "%d MiB %.3f s, 1 MiB %.3f s; added by the check %.3f s" % (ROAD_RUNS, args.mib, big_tail, small_tail,
                                                                      road_added))
    print("added in the whole program / download at 12.5 MB/s: %.3f" % (road_added / line_s))


if __name__ == "__main__":
    main()
