"""The cost of the signature check before the launch, against the download it follows.

    bench/signature.py [--build build/win32] [--prefix build/wine64] [--mib 64]

Signs the demo setup program padded to 64 MiB with a throwaway certificate (tests/fixtures/signing.py),
times the program's check of it (BenchSignature.exe: WinVerifyTrust plus the signer's fingerprint,
on the open file, as the hand-off runs it) and, in the same run, the program's own transfer path
downloading that file unthrottled from a local test server (BenchTransfer.exe program). Prints the
times and two ratios: to that download, and to the file's time on a 12.5 MB/s (100 Mbit/s) line.
Needs the win32 build's QuorvelDownloader, DemoSetup, BenchSignature and BenchTransfer, and a Wine
prefix; uses a free port, not 5301.
"""
import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MIB = 1 << 20
LINE_RATE = 12_500_000
NAME = "TALVIX_FULL_250101.exe"
FOLDER = r"c:\Windows\Temp\QVBenchSignature"


def key_values(text):
    return dict(line.split("=", 1) for line in text.replace("\r", "").splitlines() if "=" in line)


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
    signed = Signer.make(os.path.join(BUILD, "signing"), "a").sign(image + os.urandom(size - len(image) - 4096))
    folder = wine.unix(FOLDER)
    os.makedirs(folder, exist_ok=True)
    local = os.path.join(folder, NAME.upper())
    with open(local, "wb") as f:
        f.write(signed)

    rc, out = wine.run([os.path.join(args.build, "BenchSignature.exe"), FOLDER + "\\" + NAME.upper(),
                        str(args.runs)], timeout=900)
    check = key_values(out.decode("utf-8", "replace"))
    if rc != 0 or check.get("content") != "intact" or check.get("allowed") != "1":
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

    check_s = float(check["check_ms"]) / 1000
    download_s = statistics.median(downloads)
    line_s = len(signed) / LINE_RATE
    print("file: %d MiB, signed, verdict %s/%s" % (args.mib, check["content"], check["chain"]))
    print("signature check (median of %d): %.3f s; SHA-256 of the file for comparison: %.3f s"
          % (args.runs, check_s, float(check["digest_ms"]) / 1000))
    print("download by the transfer path, unthrottled (median of 3): %.2f s" % download_s)
    print("check / unthrottled download: %.3f" % (check_s / download_s))
    print("check / download at 12.5 MB/s (%.2f s): %.3f" % (line_s, check_s / line_s))


if __name__ == "__main__":
    main()
