"""The benchmarks of bench/run.sh: the download path against curl, the whole program under Wine,
the cost of progress, idle CPU, start-up and memory. Every figure is a ratio of two measurements
taken in this run. Prints one table and puts it at the top of bench/results.md.

Units: file sizes in MiB (2^20 bytes); rates and throughput in MB/s (10^6 bytes a second, so
12.5 MB/s is a 100 Mbit/s line); CPU in seconds per 100 MB (10^8 bytes).
"""
import argparse
import contextlib
import datetime
import fcntl
import filecmp
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

MIB = 1 << 20
BLOCK = 30720  # the transfer block
SIZES_MIB = (1, 64, 256)
RATES = (0, 12_500_000, 2_500_000)  # bytes a second; 0: unthrottled
WHOLE_RATE = 12_500_000
WHOLE_SIZE_MIB = 64
STARTUP_RUNS = 11
HTTPS_SIZE_MIB = 64
HTTPS_RESET_MIB = 16        # the line is cut after this many more bytes of each response
HTTPS_RUNS = 5              # rounds of curl, direct, proxy and reset, taking turns
CHECK_RUNS = 7              # runs of each of /check and the bare listing, taking turns
UNTHROTTLED_REPEATS = 5     # runs of each kind unthrottled, where noise matters most (3 for 256 MiB)
REPEATS = 3                 # runs of each kind when the line needs less than:
FLEET_REPEATS = 5           # quiet installs and window runs, taking turns: a few seconds each, and noisy
REPEAT_BELOW_SECONDS = 10
BARE_LOOP_MIN_RATE = 10_000_000
IDLE_SECONDS = 10
PORT_LOCK = "/tmp/qv-port5301.lock"
BENCH_FOLDER = r"c:\Windows\Temp\QVBench"
SETUP_NAME = "TALVIX_FULL_250101.exe"
CLK_TCK = os.sysconf("SC_CLK_TCK")


def parse_args():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True, help="the win32 build folder")
    ap.add_argument("--prefix", required=True, help="the Wine prefix")
    ap.add_argument("--native", required=True, help="TransferLogicBench, built for this machine")
    ap.add_argument("--results", default=os.path.join(HERE, "results.md"))
    ap.add_argument("--dpi-only", action="store_true",
                    help="only start-up and repaints at 144 DPI against 96 DPI")
    ap.add_argument("--quick", action="store_true",
                    help="a check of the bench itself: small files, short idle; results.md is left alone")
    ap.add_argument("--line-only", action="store_true",
                    help="only the poor line's measurements (resets, a file over 2 GiB, the bare loop)")
    ap.add_argument("--release-only", action="store_true",
                    help="only the release statement's and the version's checks against a download")
    ap.add_argument("--resume-only", action="store_true",
                    help="only a download cut at half by the program's end and finished by the next run")
    ap.add_argument("--check-only", action="store_true",
                    help="only /check against a bare WinINet program listing the same folder")
    ap.add_argument("--https-only", action="store_true",
                    help="only /update /quiet over HTTPS against curl, through a proxy and on a line that resets")
    ap.add_argument("--window-only", action="store_true",
                    help="only the window's measurements of --program against --reference-program, taking turns")
    ap.add_argument("--fleet-only", action="store_true",
                    help="only a quiet install with its setup's arguments against the window, and a second run's refusal")
    ap.add_argument("--program", help="the QuorvelDownloader.exe to measure (default: the build's)")
    ap.add_argument("--reference-program", help="with --window-only: the QuorvelDownloader.exe to compare with")
    ap.add_argument("--reference-label", help="how results.md names the reference build (default: its path)")
    ap.add_argument("--check-runs", type=int, help="runs of each of /check and the bare listing (default 7)")
    ap.add_argument("--pinned", help="the program built pinned to build/signing's certificate \"a\" "
                                     "(default: built in build/<preset>-pinned by the bench)")
    args = ap.parse_args()
    if args.window_only and not args.reference_program:
        ap.error("--window-only needs --reference-program")
    return args


ARGS = parse_args()
if ARGS.check_runs:
    CHECK_RUNS = ARGS.check_runs
if ARGS.quick:
    SIZES_MIB, WHOLE_SIZE_MIB, STARTUP_RUNS, IDLE_SECONDS, REPEATS, UNTHROTTLED_REPEATS = (1, 8), 8, 2, 2, 1, 1
    RATES = (0, 12_500_000)
    CHECK_RUNS = 2
    HTTPS_SIZE_MIB, HTTPS_RESET_MIB, HTTPS_RUNS = 8, 2, 1
    RESUME_SIZE_MIB, RESUME_ROUNDS = 8, 1
os.environ["QV_BIN"] = ARGS.build
os.environ["WINEPREFIX"] = ARGS.prefix
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import (KEPT_FOLDER, SETUP_RECORD, WORK_FOLDER, DiagnosticsLog, Driver, FtpFixture, Program, Wine,  # noqa: E402
                     install_scanner, publish_release, remove_scanner, wait_until)
from ftp_fixture import PASSWORD, USER  # noqa: E402
from signing import Signer, signed_demo_setup, with_version  # noqa: E402
from https_fixture import TLS, HttpsFixture, trust_certificate, trust_test_ca  # noqa: E402
from proxy_fixture import ProxyFixture, set_system_proxy  # noqa: E402
from test_signature import build_pinned  # noqa: E402


# --- processes seen from Linux

def find_pid(prefix, matches):
    """The Linux process of the Wine prefix whose program path (argv[0]) satisfies matches."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace").replace("\\", "/").lower()
            with open("/proc/%s/environ" % entry, "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        if matches(argv0) and ("WINEPREFIX=" + prefix).encode() in env:
            return int(entry)
    return None


def wine_pid(exe_name, prefix):
    """The Linux process running the Windows program exe_name."""
    return find_pid(prefix, lambda argv0: argv0.endswith("/" + exe_name.lower()))


def wineserver_pid(prefix):
    return find_pid(prefix, lambda argv0: os.path.basename(argv0).startswith("wineserver"))


def cpu_seconds(pid):
    """utime + stime of a running process."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def vm_hwm(pid):
    """Peak resident set (VmHWM) in bytes, or None once the process has gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        return None
    return None


class PeakWatcher:
    """Reads a process's VmHWM every 50 ms until stopped; keeps the last value seen."""

    def __init__(self, pid_of):
        self.pid_of = pid_of
        self.peak = None
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        pid = None
        while not self.stopping.wait(0.05):
            pid = pid or self.pid_of()
            value = vm_hwm(pid) if pid else None
            if value:
                self.peak = value

    def stop(self):
        self.stopping.set()
        self.thread.join()
        return self.peak


def key_values(text):
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def mb_per_s(size_bytes, seconds):
    return size_bytes / 1e6 / seconds


@contextlib.contextmanager
def port_5301():
    """Port 5301 for this run alone: the lock the e2e tests take too, unless the run has a network
    namespace of its own (QV_BENCH_NETNS=1), whose loopback nobody else uses."""
    if os.environ.get("QV_BENCH_NETNS"):
        yield
        return
    with open(PORT_LOCK, "w") as lock:
        print("  waiting for port 5301 (%s)" % PORT_LOCK, flush=True)
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


# --- measurements

def curl(port, name, out_path):
    """Downloads /Software/name; returns (seconds as curl counts them, CPU seconds)."""
    p = subprocess.Popen(["curl", "-s", "-S", "-o", out_path, "-w", "%{time_total}", "--user",
                          "%s:%s" % (USER, PASSWORD), "ftp://127.0.0.1:%d/Software/%s" % (port, name)],
                         stdout=subprocess.PIPE)
    out = p.stdout.read()
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise RuntimeError("curl failed with %d" % p.returncode)
    return float(out.decode().strip()), usage.ru_utime + usage.ru_stime


def bench_transfer(wine, mode, port, name, size):
    """One run of BenchTransfer.exe; returns its key=value answer plus the VmHWM seen from Linux."""
    exe = os.path.join(ARGS.build, "BenchTransfer.exe")
    args = [exe, mode, "127.0.0.1", str(port), name, str(size), BENCH_FOLDER]
    if mode == "program":
        args.append("Z:" + os.path.join(ARGS.build, "QuorvelDownloader.exe").replace("/", "\\"))
    watcher = PeakWatcher(lambda: wine_pid("BenchTransfer.exe", wine.prefix))
    rc, out = wine.run(args, timeout=900)
    peak = watcher.stop()
    result = key_values(out.decode("utf-8", "replace").replace("\r", ""))
    if rc != 0 or result.get("result") != "ok":
        raise RuntimeError("BenchTransfer %s %s failed (%d): %r" % (mode, name, rc, out))
    result["vm_hwm"] = peak
    return result


def fetch(wine, who, port, name, size, local_dir, temp, served):
    """One download by the transfer path, the bare loop or curl, checked against the served file."""
    if who == "curl":
        out = os.path.join(temp, name)
        seconds, cpu = curl(port, name, out)
        result = {"seconds": seconds, "cpu": cpu}
    else:
        result = bench_transfer(wine, who, port, name, size)
        result["seconds"] = float(result["seconds"])
        # The program saves under the upper-case name.
        out = os.path.join(local_dir, name.upper() if who == "program" else name)
    if not filecmp.cmp(served, out, shallow=False):
        raise RuntimeError("%s: %s differs from the served file" % (who, name))
    os.remove(out)
    return result


def imports_of(exe):
    """The DLLs a program of the build imports, as the PE header lists them."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", os.path.join(ARGS.build, exe)],
                         capture_output=True, text=True, check=True).stdout
    return sorted(line.split(":", 1)[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line)


def bench_check(wine, port, mode):
    rc, out = wine.run([os.path.join(ARGS.build, "BenchTransfer.exe"), mode, "127.0.0.1", str(port)], timeout=120)
    result = key_values(out.decode("utf-8", "replace").replace("\r", ""))
    if rc != 0:
        raise RuntimeError("BenchTransfer check failed (%d): %r" % (rc, out))
    return result["seconds"]


def curl_list(port):
    out = subprocess.run(["curl", "-s", "-S", "-o", os.devnull, "-w", "%{time_total}", "--user",
                          "%s:%s" % (USER, PASSWORD), "ftp://127.0.0.1:%d/Software/" % port],
                         capture_output=True, check=True, text=True).stdout
    return float(out.strip())


def logic_per_block():
    """The transfer logic's own cost per block, natively and without I/O."""
    out = subprocess.run([ARGS.native, os.path.join(ROOT, "resources", "TextTable.txt"), str(SIZES_MIB[-1])],
                         capture_output=True, text=True, check=True).stdout
    return float(key_values(out)["ns_per_block"])


def throughput(wine, temp):
    """The transfer path, the bare loop and curl on the same files from one server, taking turns;
    the shorter runs are repeated and their medians kept, as they are the most exposed to noise."""
    rows = {}
    local_dir = wine.unix(BENCH_FOLDER)
    with FtpFixture(port=0, max_lifetime=3600) as ftp:
        for mib in SIZES_MIB:
            ftp.add_file("/Software/BENCH_%dMB.exe" % mib, mib * MIB)
        for mib in SIZES_MIB:
            name, size = "BENCH_%dMB.exe" % mib, mib * MIB
            served = ftp.path_of("/Software/" + name)
            for rate in RATES:
                ftp.set_faults(rate=rate)
                # The bare loop is slow at 2.5 MB/s and only the line limits it there.
                who_all = ("program", "curl") if 0 < rate < BARE_LOOP_MIN_RATE else ("program", "bare", "curl")
                runs = {who: [] for who in who_all}
                if rate == 0:
                    repeats = UNTHROTTLED_REPEATS if mib <= 64 else REPEATS
                else:
                    repeats = REPEATS if size / rate < REPEAT_BELOW_SECONDS else 1
                for _ in range(repeats):
                    for who in who_all:
                        runs[who].append(fetch(wine, who, ftp.port, name, size, local_dir, temp, served))
                row = {who: statistics.median(r["seconds"] for r in results) for who, results in runs.items()}
                row["curl_cpu"] = statistics.median(r["cpu"] for r in runs["curl"])
                row["status_updates"] = max(int(r["status_updates"]) for r in runs["program"])
                row["vm_hwm"] = max(r["vm_hwm"] for r in runs["program"])
                rows[(mib, rate)] = row
                print("  %3d MiB at %s: %s" % (mib, rate_label(rate), "; ".join(
                    "%s %s s" % (who, " ".join("%.3f" % r["seconds"] for r in results))
                    for who, results in runs.items())), flush=True)
    return rows


LINE_SIZE_MIB = 64
LINE_RATE = 12_500_000
LINE_RESET_MIB = 16
LARGE_SIZE = (2 << 30) + MIB  # just over 2 GiB, a sparse file on the server


def served_bytes(ftp, name):
    prefix = "SENT /Software/%s " % name
    return sum(int(line[len(prefix):]) for line in ftp.requests() if line.startswith(prefix))


def poor_line(wine, temp):
    """The transfer path on a line that resets every 16 MiB against the same download unbroken; a
    file over 2 GiB against a 64 MiB one; and the unthrottled path against the bare WinINet loop."""
    local_dir = wine.unix(BENCH_FOLDER)
    figures = {}
    with FtpFixture(port=0, max_lifetime=3600) as ftp:
        name, size = "LINE_%dMB.exe" % LINE_SIZE_MIB, LINE_SIZE_MIB * MIB
        ftp.add_file("/Software/" + name, size)
        served = ftp.path_of("/Software/" + name)
        runs = {"unbroken": [], "reset": [], "bare": [], "unthrottled": []}
        hwm = []
        for _ in range(REPEATS):
            ftp.set_faults(rate=LINE_RATE)
            runs["unbroken"].append(fetch(wine, "program", ftp.port, name, size, local_dir, temp, served)["seconds"])
            ftp.set_faults(rate=LINE_RATE, drop_after={"*": LINE_RESET_MIB * MIB})
            ftp.clear_requests()
            runs["reset"].append(fetch(wine, "program", ftp.port, name, size, local_dir, temp, served)["seconds"])
            figures["served"] = served_bytes(ftp, name) / size
            ftp.set_faults()
            r = fetch(wine, "program", ftp.port, name, size, local_dir, temp, served)
            runs["unthrottled"].append(r["seconds"])
            hwm.append(r["vm_hwm"])
            runs["bare"].append(fetch(wine, "bare", ftp.port, name, size, local_dir, temp, served)["seconds"])
        figures.update({k: statistics.median(v) for k, v in runs.items()})
        figures["hwm_64"] = max(hwm)

        large = "LARGE_2GB.exe"
        with open(ftp.path_of("/Software/" + large), "wb") as f:
            f.truncate(LARGE_SIZE)
        r = fetch(wine, "program", ftp.port, large, LARGE_SIZE, local_dir, temp, ftp.path_of("/Software/" + large))
        figures["large_seconds"], figures["hwm_large"] = r["seconds"], r["vm_hwm"]
    print("  poor line: %r" % figures, flush=True)
    return figures


def line_rows(f):
    return [
        ("%d MiB at %s, data connection reset every %d MiB: bytes served / file size"
         % (LINE_SIZE_MIB, rate_label(LINE_RATE), LINE_RESET_MIB),
         "%.3f" % f["served"], "1 (each byte once)", "%.3f" % f["served"], "<= 1.05", yes(f["served"] <= 1.05)),
        ("%d MiB at %s, reset every %d MiB / the same download unbroken"
         % (LINE_SIZE_MIB, rate_label(LINE_RATE), LINE_RESET_MIB),
         "%.2f s" % f["reset"], "%.2f s" % f["unbroken"], "%.3f" % (f["reset"] / f["unbroken"]), "<= 1.15",
         yes(f["reset"] / f["unbroken"] <= 1.15)),
        ("%d MiB unthrottled: transfer path (digest on its own thread) / bare WinINet loop" % LINE_SIZE_MIB,
         "%.2f s" % f["unthrottled"], "%.2f s" % f["bare"], "%.3f" % (f["unthrottled"] / f["bare"]), "<= 1.10",
         yes(f["unthrottled"] / f["bare"] <= 1.10)),
        ("Peak working set (VmHWM), transfer path: %.2f GiB / %d MiB download (%.0f s)"
         % (LARGE_SIZE / (1 << 30), LINE_SIZE_MIB, f["large_seconds"]),
         "%.1f MiB" % (f["hwm_large"] / MIB), "%.1f MiB" % (f["hwm_64"] / MIB),
         "%.3f" % (f["hwm_large"] / f["hwm_64"]), "<= 1.10", yes(f["hwm_large"] / f["hwm_64"] <= 1.10)),
    ]


def table_of(rows):
    header = ("Measurement", "Program", "Reference", "Ratio", "Target", "Met")
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def count_list_paints(log_path, start, end, list_hwnd):
    """WM_PAINTs dispatched to the list window in the byte range of Wine's +message log."""
    with open(log_path, "rb") as f:
        f.seek(start)
        text = f.read(end - start).decode("utf-8", "replace")
    pattern = re.compile(r"spy_enter_message \(0x0*%x\) .*\[000f\] WM_PAINT" % list_hwnd)
    return sum(1 for line in text.splitlines() if pattern.search(line))


def setup_bytes(size):
    """The demo setup program padded to about the size and signed with a throwaway certificate, so the
    hand-off launches a real program (only signed setups are launched)."""
    demo = os.path.join(ARGS.build, "DemoSetup.exe")
    padding = max(size - os.path.getsize(demo), 0)
    return signed_demo_setup(demo, os.path.join(os.path.dirname(ARGS.build), "signing"), os.urandom(padding))


def whole_program(wine, temp):
    """The real program on port 5301: start-up, idle, one download, its repaints."""
    m = {}
    driver = Driver(wine)
    watch = os.path.join(ARGS.build, "BenchWatch.exe")
    baselines = {"minimal": "MinimalWindow.exe", "imports": "BenchImportsWindow.exe"}
    for exe in baselines.values():
        copy = wine.unix("c:\\qvbench\\" + exe)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copy(os.path.join(ARGS.build, exe), copy)
    m["same_imports"] = imports_of("BenchImportsWindow.exe") == imports_of("QuorvelDownloader.exe")
    size = WHOLE_SIZE_MIB * MIB
    record, downloaded = road_files(wine)

    with port_5301():
        ftp = FtpFixture(port=5301, max_lifetime=1800)
        try:
            ftp.add_file("/Software/" + SETUP_NAME, setup_bytes(size))
            ftp.start()
            program = program_of(wine, None, extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"})

            # Start-up, taking turns with the two minimal windows; the first round warms Wine up.
            starts = [("program", [program.win_path, "#32770", "탈빅스 다운로더"])]
            starts += [(who, ["c:\\qvbench\\" + exe, "QvMinimalWindow", "Minimal Window"])
                       for who, exe in baselines.items()]
            times = {who: [] for who, _ in starts}
            for i in range(STARTUP_RUNS + 1):
                for who, args in starts:
                    rc, out = wine.run([watch, "startup"] + args + ["30000"], timeout=60)
                    if rc != 0:
                        raise RuntimeError("start-up of %s: exit %d %r" % (who, rc, out))
                    if i > 0:
                        times[who].append(float(key_values(out.decode().replace("\r", ""))["ms"]))
            m["startup"] = {k: statistics.median(v) for k, v in times.items()}
            m["startup_runs"] = times
            print("  start-up: %s" % times, flush=True)

            # The server check's FTP exchange alone, through the program's session, and curl's listing.
            checks = {"check": [], "bare-check": [], "curl": []}
            for _ in range(STARTUP_RUNS):
                for mode in ("check", "bare-check"):
                    checks[mode].append(float(bench_check(wine, ftp.port, mode)))
                checks["curl"].append(curl_list(ftp.port))
            m["check"] = {k: statistics.median(v) for k, v in checks.items()}
            print("  server check: %s" % checks, flush=True)

            # Idle main window, then the download at 100 Mbit/s.
            program.start()
            driver.wait_main()
            pid = wine_pid("QuorvelDownloader.exe", wine.prefix)
            time.sleep(1)
            server = wineserver_pid(wine.prefix)
            m["idle_main"] = idle_cpu(pid, server)
            remove_files(record, downloaded)
            ftp.set_faults(rate=WHOLE_RATE)
            before, server_before = cpu_seconds(pid), cpu_seconds(server)
            rc, out = wine.run([watch, "download", "Completed", "300000"], timeout=330)
            after, server_after = cpu_seconds(pid), cpu_seconds(server)
            m["whole_server_cpu"] = server_after - server_before
            m["whole_hwm"] = vm_hwm(pid)
            result = key_values(out.decode().replace("\r", ""))
            if rc != 0:
                raise RuntimeError("download in the program: exit %d %r" % (rc, out))
            m["whole"] = float(result["seconds"])
            m["whole_first_progress"] = float(result["first_progress"])
            m["whole_cpu"] = after - before
            program.wait(60)
            wait_until(lambda: os.path.exists(record), 30, "the setup program started by the hand-off")
            if not filecmp.cmp(ftp.path_of("/Software/" + SETUP_NAME), downloaded, shallow=False):
                raise RuntimeError("the program's download differs from the served file")
            m["whole_curl"], m["whole_curl_cpu"] = curl(ftp.port, SETUP_NAME, os.path.join(temp, SETUP_NAME))
            os.remove(os.path.join(temp, SETUP_NAME))
            print("  whole program: %.3f s, curl %.3f s" % (m["whole"], m["whole_curl"]), flush=True)

            # The same download again with Wine's message trace of WM_PAINT.
            m["paints"] = count_paints(wine, watch, temp)
            print("  list repaints: %d" % m["paints"], flush=True)

            # No server: the message box waits for an answer.
            ftp.stop()
            program = program_of(wine).start()
            driver.wait_msgbox()
            time.sleep(1)
            m["idle_msgbox"] = idle_cpu(wine_pid("QuorvelDownloader.exe", wine.prefix), server)
            driver.answer_msgbox()
            driver.ok("close")
            program.wait(30)
        finally:
            ftp.cleanup()
            wine.kill_server()
    return m


WINDOW_ROUNDS = 3  # downloads of each program in the window comparison, taking turns


def window_costs(wine, temp):
    """The window of --program against --reference-program's on one server on port 5301, taking
    turns: start-up, idle CPU, the 64 MiB download at 12.5 MB/s from the Start click (first % and
    "Completed", CPU of the program and of the wineserver, on to the window gone after the hand-off),
    the item list's repaints during a traced download, and idle CPU while the message box waits."""
    folder = os.path.join(temp, "programs")
    os.makedirs(folder)
    exes = {}
    for who, exe in (("program", program_exe()), ("reference", ARGS.reference_program)):
        exes[who] = os.path.join(folder, who + ".exe")
        shutil.copy(exe, exes[who])  # the build folder may be rebuilt during the run
    driver = Driver(wine)
    watch = os.path.join(ARGS.build, "BenchWatch.exe")
    minimal = "c:\\qvbench\\MinimalWindow.exe"
    os.makedirs(os.path.dirname(wine.unix(minimal)), exist_ok=True)
    shutil.copy(os.path.join(ARGS.build, "MinimalWindow.exe"), wine.unix(minimal))
    size = WHOLE_SIZE_MIB * MIB
    record, downloaded = road_files(wine)
    keys = ("startup", "whole", "first", "closed", "cpu", "server_cpu", "paints", "idle_main", "idle_msgbox", "hwm")
    m = {who: {k: [] for k in keys} for who in exes}
    m["minimal"] = {"startup": []}
    remove_scanner(wine)
    with port_5301():
        ftp = FtpFixture(port=5301, max_lifetime=1800)
        try:
            ftp.add_file("/Software/" + SETUP_NAME, setup_bytes(size))
            ftp.start()
            programs = {who: program_of(wine, exe, folder="c:\\qvbench\\" + who,
                                        extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"}) for who, exe in exes.items()}
            starts = [(who, [p.win_path, "#32770", "탈빅스 다운로더"]) for who, p in programs.items()]
            starts.append(("minimal", [minimal, "QvMinimalWindow", "Minimal Window"]))
            for i in range(STARTUP_RUNS + 1):  # the first round warms Wine up
                for who, args in starts if i % 2 else reversed(starts):
                    rc, out = wine.run([watch, "startup"] + args + ["30000"], timeout=60)
                    if rc != 0:
                        raise RuntimeError("start-up of %s: exit %d %r" % (who, rc, out))
                    if i > 0:
                        m[who]["startup"].append(float(key_values(out.decode().replace("\r", ""))["ms"]))
            print("  start-up (ms): %r" % {who: v["startup"] for who, v in m.items()}, flush=True)

            for i in range(1 if ARGS.quick else WINDOW_ROUNDS):
                for who in exes if i % 2 == 0 else reversed(list(exes)):
                    r, program = m[who], programs[who]
                    ftp.set_faults()
                    program.start()
                    driver.wait_main()
                    pid = wine_pid("QuorvelDownloader.exe", wine.prefix)
                    time.sleep(1)
                    server = wineserver_pid(wine.prefix)
                    r["idle_main"].append(idle_cpu(pid, server))
                    remove_files(record, downloaded)
                    ftp.set_faults(rate=WHOLE_RATE)
                    before, server_before = cpu_seconds(pid), cpu_seconds(server)
                    watcher = PeakWatcher(lambda: pid)
                    rc, out = wine.run([watch, "download", "Completed", "300000", "closed"], timeout=330)
                    r["hwm"].append(watcher.stop() or 0)
                    if rc != 0:
                        raise RuntimeError("%s: download in the program: exit %d %r" % (who, rc, out))
                    result = key_values(out.decode().replace("\r", ""))
                    r["cpu"].append(cpu_seconds(pid) - before)  # the ended process is our child, not yet reaped
                    r["server_cpu"].append(cpu_seconds(server) - server_before)
                    r["whole"].append(float(result["seconds"]))
                    r["first"].append(float(result["first_progress"]))
                    r["closed"].append(float(result["closed"]) - float(result["seconds"]))
                    program.wait(60)
                    wait_until(lambda: os.path.exists(record), 30, "the setup program started by the hand-off")
                    if not filecmp.cmp(ftp.path_of("/Software/" + SETUP_NAME), downloaded, shallow=False):
                        raise RuntimeError("%s: the download differs from the served file" % who)
                    r["paints"].append(count_paints(wine, watch, temp, exes[who]))
                    print("  %s: %s" % (who, ", ".join("%s %s" % (k, v[-1]) for k, v in r.items() if v)), flush=True)

            # No server: the message box waits for an answer.
            ftp.stop()
            for who, exe in exes.items():
                program = program_of(wine, exe).start()
                driver.wait_msgbox()
                time.sleep(1)
                m[who]["idle_msgbox"].append(idle_cpu(wine_pid("QuorvelDownloader.exe", wine.prefix),
                                                      wineserver_pid(wine.prefix)))
                driver.answer_msgbox()
                driver.ok("close")
                program.wait(30)
        finally:
            ftp.cleanup()
    return m


def window_rows(m):
    new, old = m["program"], m["reference"]

    def spread(values, fmt, scale=1):
        v = [x * scale for x in values]
        return (fmt + " (" + fmt + "-" + fmt + ")") % (statistics.median(v), min(v), max(v))

    def row(what, key, fmt, scale=1, target="-"):
        a, b = statistics.median(new[key]), statistics.median(old[key])
        ratio = a / b if b else float("nan")
        met = "-" if target == "-" else yes(ratio <= float(target.split()[-1]))
        return (what, spread(new[key], fmt, scale), spread(old[key], fmt, scale), "%.3f" % ratio, target, met)

    per100 = 1e8 / (WHOLE_SIZE_MIB * MIB)
    road = "Window, %d MiB signed setup at %s" % (WHOLE_SIZE_MIB, rate_label(WHOLE_RATE))
    n = WINDOW_ROUNDS
    rows = [
        row("Start-up to the main window shown, this program / the reference build (medians of %d, taking turns "
            "with a minimal window at %.0f ms; median (fastest-slowest))" % (STARTUP_RUNS,
                                                                            statistics.median(m["minimal"]["startup"])),
            "startup", "%.0f ms", target="<= 1.10"),
        row("%s: Start click to \"Completed\" / the reference build (%d each, taking turns)" % (road, n),
            "whole", "%.2f s", target="<= 1.05"),
        row("%s: Start click to the first %% in the list (the answer to the click)" % road, "first", "%.0f ms", 1000),
        row("%s: \"Completed\" to the window gone (checks, hand-off, launch)" % road, "closed", "%.2f s"),
        row("%s: the program's CPU seconds per 100 MB, Start click to the end" % road, "cpu", "%.3f s", per100,
            target="<= 1.10"),
        row("%s: the wineserver's CPU seconds per 100 MB over the same time" % road, "server_cpu", "%.3f s", per100),
        row("Item list repaints during one download (traced run)", "paints", "%.0f", target="<= 1.10"),
        row("Peak working set (VmHWM) of the program during the download", "hwm", "%.1f MiB", 1 / MIB),
    ]
    for key, state in (("idle_main", "main window"), ("idle_msgbox", "message box waiting")):
        a = max(p for p, _ in new[key]), max(s for _, s in new[key])
        b = max(p for p, _ in old[key]), max(s for _, s in old[key])
        rows.append(("Idle CPU over %d s, %s (highest of the runs)" % (IDLE_SECONDS, state),
                     "%.2f %% (wineserver %.2f %%)" % a, "%.2f %% (wineserver %.2f %%)" % b, "-", "< 1 %",
                     yes(a[0] < 1 and a[1] < 1)))
    return rows


def persistent_session(wine):
    """One Wine session for the measurements that follow, so no program pays for a session's start."""
    subprocess.run(["wineserver", "-p"], env=wine.env, check=True)
    wine.run(["cmd", "/c", "exit"])


def dpi_costs(wine, temp):
    """Start-up and item-list repaints per download of the real program at 144 DPI and at 96 DPI,
    each DPI in a Wine session of its own (Wine reads the DPI when a session starts)."""
    m = {}
    watch = os.path.join(ARGS.build, "BenchWatch.exe")
    with port_5301():
        ftp = FtpFixture(port=5301, max_lifetime=1800)
        try:
            ftp.add_file("/Software/" + SETUP_NAME, setup_bytes(WHOLE_SIZE_MIB * MIB))
            ftp.start()
            program = program_of(wine, None, extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"})
            for dpi in (96, 144):
                wine.set_dpi(dpi)
                persistent_session(wine)
                ftp.set_faults()
                times = []
                for i in range(STARTUP_RUNS + 1):  # the first run warms the session up
                    rc, out = wine.run([watch, "startup", program.win_path, "#32770", "탈빅스 다운로더", "30000"],
                                       timeout=60)
                    if rc != 0:
                        raise RuntimeError("start-up at %d DPI: exit %d %r" % (dpi, rc, out))
                    if i > 0:
                        times.append(float(key_values(out.decode().replace("\r", ""))["ms"]))
                ftp.set_faults(rate=WHOLE_RATE)
                m[dpi] = {"startup": statistics.median(times), "paints": count_paints(wine, watch, temp)}
                print("  at %d DPI: start-up %s, list repaints %d" % (dpi, times, m[dpi]["paints"]), flush=True)
        finally:
            ftp.cleanup()
            wine.set_dpi(96)
    return m


def dpi_rows(dpi):
    rows = []
    low, high = dpi[96], dpi[144]
    ratio = high["startup"] / low["startup"]
    rows.append(("Start-up to the main window shown at 144 DPI / at 96 DPI (medians of %d)" % STARTUP_RUNS,
                 "%.0f ms" % high["startup"], "%.0f ms" % low["startup"], "%.2f" % ratio, "<= 1.10",
                 yes(ratio <= 1.10)))
    ratio = high["paints"] / max(low["paints"], 1)
    rows.append(("Item list repaints during one download at 144 DPI / at 96 DPI", "%d" % high["paints"],
                 "%d" % low["paints"], "%.2f" % ratio, "<= 1.10", yes(ratio <= 1.10)))
    return rows


RELEASE_VERSION = "7.4.0.0"   # the setup's version resource, newer than the installed scanner's
SCANNER_VERSION = "7.3.1.0"
STATEMENT_FILES = ("release.txt", "release.txt.p7s")


class RequestTimes:
    """When each line of the test server's request log appeared, read every millisecond: the server
    writes a request's line (line-buffered) as the command arrives."""

    def __init__(self, path):
        self.file = open(path, "rb", buffering=0)
        self.lines = []  # (seconds since 1970, line)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        pending = b""
        while not self.stopping.wait(0.001):
            data = self.file.read()
            if data:
                now = time.time()
                *complete, pending = (pending + data).split(b"\n")
                self.lines += [(now, line.decode("utf-8", "replace")) for line in complete]

    def stop(self):
        if not self.stopping.is_set():
            self.stopping.set()
            self.thread.join()
            self.file.close()

    def first(self, matches):
        return next((at for at, line in self.lines if matches(line)), None)


def road_files(wine):
    """Where a run leaves the launched setup's record and the downloaded setup."""
    return wine.unix(SETUP_RECORD), os.path.join(wine.unix(WORK_FOLDER), SETUP_NAME.upper())


def remove_files(*paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def log_events(lines):
    """The first line of each event of the diagnostics log: name -> (seconds since 1970, facts)."""
    events = {}
    for line in lines:
        fields = line.split(" ", 3)
        if len(fields) < 3 or fields[2] in events:
            continue
        at = datetime.datetime.strptime(fields[0], "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc)
        facts = dict(re.findall(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)', fields[3] if len(fields) > 3 else ""))
        events[fields[2]] = (at.timestamp(), facts)
    return events


def release_run(wine, exe, ftp, served, statement):
    """The program exe from its start to the setup's launch: its server check, then the download at
    the server's rate. Returns the costs read from the clocks of its diagnostics log and of the
    server's request log (the same clock; the log writes milliseconds)."""
    log = DiagnosticsLog(wine)
    record, downloaded = road_files(wine)
    remove_files(record, downloaded)
    ftp.clear_requests()
    requests = RequestTimes(ftp.log)
    program = Program(wine, extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"})
    shutil.copy(exe, program.path)
    program.start()
    try:
        Driver(wine).wait_main()
        wait_until(lambda: "server.listed" in log_events(log.lines()), 30, "the server check in the log")
        requests.stop()
        rc, out = wine.run([os.path.join(ARGS.build, "BenchWatch.exe"), "download", "Completed", "300000"],
                           timeout=330)
        if rc != 0:
            raise RuntimeError("download in the program: exit %d %r" % (rc, out))
        program.wait(60)
        wait_until(lambda: os.path.exists(record), 30, "the setup program started by the hand-off")
        wait_until(lambda: "download.done" in log_events(log.lines()), 10, "download.done in the log")
    finally:
        requests.stop()
        if program.running():
            program.kill()
    if not filecmp.cmp(served, downloaded, shallow=False):
        raise RuntimeError("the program's download differs from the served file")
    events = log_events(log.lines())
    found = events["release.statement"][1]
    if (found.get("verdict") == "valid", found["required"] == "yes") != (statement, statement):
        raise RuntimeError("release.statement says %r" % found)
    release = events["setup.release"][1]
    if (release["version"], release["installed"], release["result"]) != (RELEASE_VERSION, SCANNER_VERSION, "ready"):
        raise RuntimeError("setup.release says %r" % release)

    def at(name):
        return events[name][0]
    listed = requests.first(lambda line: line.startswith("LIST "))
    r = {"download_ms": float(events["download.done"][1]["ms"]),
         # The version resource is read and compared between these two lines of the worker.
         "version_ms": (at("setup.release") - at("setup.digest")) * 1000,
         # The Authenticode check runs beside the digest; Wine reads its root certificates at the first
         # chain built in a process, which the statement's check may already have done.
         "signature_ms": (at("setup.signature") - at("setup.release")) * 1000}
    if statement:
        # From the statement's request to its verdict: both reads, the signature's check, the parse.
        read = requests.first(lambda line: line.startswith("RETR ") and line.endswith("/" + STATEMENT_FILES[0]))
        r["statement_ms"] = (at("release.statement") - read) * 1000
        r["listing_ms"] = (read - listed) * 1000
    else:
        r["statement_ms"] = 0.0
        r["listing_ms"] = (at("server.listed") - listed) * 1000
    r["checks_ms"] = r["statement_ms"] + r["version_ms"]
    return r


def release_costs(wine, temp):
    """What the maker's release statement and the setup's version check cost the real program, against
    its download of a signed setup at 12.5 MB/s: a build pinned to the bench's certificate, which
    requires the statement, takes turns with the default build on the same folder without one."""
    signer = Signer.make(os.path.join(os.path.dirname(ARGS.build), "signing"), "a")
    pinned = ARGS.pinned
    if not pinned:
        print("  the program pinned to the bench's certificate (build/%s-pinned, incremental)"
              % os.environ.get("QV_WINDOWS_BUILD", "win32"), flush=True)
        pinned = build_pinned(signer.fingerprint)
    with open(os.path.join(ARGS.build, "DemoSetup.exe"), "rb") as f:
        demo = with_version(f.read(), RELEASE_VERSION)
    setup = signer.sign(demo + os.urandom(max(WHOLE_SIZE_MIB * MIB - len(demo), 0)))
    install_scanner(wine, SCANNER_VERSION)
    runs = {"pinned": [], "plain": []}
    aside = os.path.join(temp, "statement")
    os.makedirs(aside)
    try:
        with port_5301():
            ftp = FtpFixture(port=5301, max_lifetime=1800)
            try:
                ftp.add_file("/Software/" + SETUP_NAME, setup)
                publish_release(ftp, "/Software", signer)
                folder = ftp.path_of("/Software")
                ftp.start()
                ftp.set_faults(rate=WHOLE_RATE)
                for _ in range(REPEATS):
                    for who in runs:
                        statement = who == "pinned"
                        # The default build reads a statement that is there: it is served to the pinned one alone.
                        for name in STATEMENT_FILES:
                            src, dst = os.path.join(aside, name), os.path.join(folder, name)
                            if os.path.exists(dst if statement else src):
                                continue
                            os.replace(*((src, dst) if statement else (dst, src)))
                        exe = pinned if statement else os.path.join(ARGS.build, "QuorvelDownloader.exe")
                        r = release_run(wine, exe, ftp, ftp.path_of("/Software/" + SETUP_NAME), statement)
                        runs[who].append(r)
                        print("  %s: %s" % (who, ", ".join("%s %.0f" % kv for kv in sorted(r.items()))), flush=True)
            finally:
                ftp.cleanup()
    finally:
        remove_scanner(wine)
    return {who: {key: statistics.median(r[key] for r in results) for key in results[0]}
            for who, results in runs.items()}


def fleet_costs(wine, temp):
    """A deployment tool's install against a user's: `/update /quiet` of a 64 MiB setup at 12.5 MB/s
    with the maker's unattended arguments, from the process's start to its end less the setup's own
    run (handoff.launch to setup.ended in its log), taking turns with the window's Start click to the
    window gone after the launch; and a second run (/check) started while a quiet run downloads,
    from its start to its refusal (1618), Wine's start of a process included."""
    signer = Signer.make(os.path.join(os.path.dirname(ARGS.build), "signing"), "a")
    trust_certificate(wine.env, signer.cert)
    record, downloaded = road_files(wine)
    env = {"QV_SETUP_AUTOCLOSE_MS": "500", "QV_SETUP_RUN_MS": "2000"}
    m = {"quiet": [], "window": [], "refusal": [], "refusal_own": []}
    remove_scanner(wine)
    with port_5301():
        ftp = FtpFixture(port=5301, max_lifetime=1800)
        try:
            ftp.add_file("/Software/" + SETUP_NAME, setup_bytes(WHOLE_SIZE_MIB * MIB))
            publish_release(ftp, "/Software", signer, quiet_args="/S /norestart")
            ftp.start()
            ftp.set_faults(rate=WHOLE_RATE)
            for i in range(1 if ARGS.quick else FLEET_REPEATS):
                for who in ("quiet", "window") if i % 2 == 0 else ("window", "quiet"):
                    remove_files(record, downloaded)
                    log = DiagnosticsLog(wine)
                    if who == "quiet":
                        program = program_of(wine, args=["/update", "/quiet"], extra_env=env)
                        # Started straight by `wine`, as a deployment tool starts it: one process start,
                        # not the harness's second one (QvRunWait). Wine keeps the code's low 8 bits,
                        # which tell 0 from anything else.
                        began = time.monotonic()
                        code = subprocess.run(["wine", program.win_path] + program.args, env=program.env,
                                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL, timeout=300).returncode
                        wall = time.monotonic() - began
                        events = log_events(log.lines())
                        if code != 0 or "setup.ended" not in events:
                            raise RuntimeError("quiet install: exit %d, log %r" % (code, sorted(events)))
                        m["quiet"].append(wall - (events["setup.ended"][0] - events["handoff.launch"][0]))
                    else:
                        program = program_of(wine, extra_env=env).start()
                        Driver(wine).wait_main()
                        rc, out = wine.run([os.path.join(ARGS.build, "BenchWatch.exe"), "download", "Completed",
                                            "300000", "closed"], timeout=330)
                        if rc != 0:
                            raise RuntimeError("window: download in the program: exit %d %r" % (rc, out))
                        m["window"].append(float(key_values(out.decode().replace("\r", ""))["closed"]))
                        program.wait(60)
                        # The setup the window started outlives it; a run that finds it still running
                        # takes it for the scanner in use.
                        wait_until(lambda: wine_pid(SETUP_NAME, ARGS.prefix) is None, 60, "the window's setup to end")
                    print("  %s: %.2f s" % (who, m[who][-1]), flush=True)
            # A second run while one downloads, on a slow line so the first is still at it; the first
            # then ends as it would, so the Wine session stays as warm as a PC's.
            for _ in range(1 if ARGS.quick else REPEATS):
                remove_files(record, downloaded)
                log = DiagnosticsLog(wine)
                ftp.set_faults(rate=WHOLE_RATE // 20)
                ftp.clear_requests()  # the download to wait for is this first run's, not an earlier one's
                first = program_of(wine, args=["/update", "/quiet"], extra_env=env).start()
                wait_until(lambda: any(r.startswith("RETR /Software/" + SETUP_NAME) for r in ftp.requests()), 60,
                           "the first run's download")
                second = program_of(wine, folder="c:\\qvbench\\second", args=["/check"])
                began = time.monotonic()
                code = second.start().wait(30)
                m["refusal"].append(time.monotonic() - began)
                # The program's own share: its start line to its end line (the first run has not ended).
                times = {}
                for line in log.lines():
                    for name, (at, _) in log_events([line]).items():
                        times[name] = at
                m["refusal_own"].append(times.get("end", float("nan")) - times.get("start", float("nan")))
                ftp.set_faults(rate=WHOLE_RATE)
                first.wait(120)
                ftp.clear_requests()
                if code != 1618:
                    raise RuntimeError("the second run ended with %d, not 1618" % code)
                print("  refusal: %.2f s (the program's own %.3f s)" % (m["refusal"][-1], m["refusal_own"][-1]),
                      flush=True)
        finally:
            ftp.cleanup()
    return m


def fleet_rows(m):
    quiet, window, refusal = (statistics.median(m[k]) for k in ("quiet", "window", "refusal"))
    road = "%d MiB signed setup at %s" % (WHOLE_SIZE_MIB, rate_label(WHOLE_RATE))
    return [
        ("%s: /update /quiet, start to end less the setup's own run / the window's Start click to the launch "
         "(medians of %d)" % (road, len(m["quiet"])), "%.2f s" % quiet, "%.2f s" % window,
         "%.3f" % (quiet / window), "<= 1.10", yes(quiet / window <= 1.10)),
        ("A second run while one downloads: its start to its refusal (1618), Wine's process start included "
         "(the program's own, first log line to last: %.3f s)" % statistics.median(m["refusal_own"]),
         "%.2f s" % refusal, "-", "-", "<= 1 s", yes(refusal <= 1.0)),
    ]


def release_rows(m):
    pinned, plain = m["pinned"], m["plain"]
    ratio = pinned["checks_ms"] / pinned["download_ms"]
    return [
        ("Release checks (statement read and verified; setup's version read and compared) / %d MiB download "
         "at %s, pinned build (medians of %d)" % (WHOLE_SIZE_MIB, rate_label(WHOLE_RATE), REPEATS),
         "%.0f ms (statement %.0f ms, version %.0f ms)" % (pinned["checks_ms"], pinned["statement_ms"],
                                                          pinned["version_ms"]),
         "%.2f s" % (pinned["download_ms"] / 1000), "%.4f" % ratio, "<= 0.02", yes(ratio <= 0.02)),
        ("Download (download.done) with the statement, pinned build / without one, default build",
         "%.2f s" % (pinned["download_ms"] / 1000), "%.2f s" % (plain["download_ms"] / 1000),
         "%.3f" % (pinned["download_ms"] / plain["download_ms"]), "-", "-"),
        ("Server check's listing with the statement's two files / without them (LIST to the next step)",
         "%.0f ms" % pinned["listing_ms"], "%.0f ms" % plain["listing_ms"],
         "%.2f" % (pinned["listing_ms"] / max(plain["listing_ms"], 1)), "-", "-"),
        ("Setup's signature verdict after its version check: pinned build / default build",
         "%.0f ms" % pinned["signature_ms"], "%.0f ms" % plain["signature_ms"],
         "%.2f" % (pinned["signature_ms"] / max(plain["signature_ms"], 1)), "-", "-"),
    ]


RESUME_SIZE_MIB = 64
RESUME_RATE = 1_000_000  # a poor line: the transfer, not the checks around it, is what a restart saves
RESUME_ROUNDS = 3


def quiet_update(wine, log, cut_at=None):
    """`/update /quiet` of the real program. Without cut_at: its time from `download.start` to
    `handoff.launch` and to every byte on disk (`download.received`) in ms, read from the diagnostics
    log's lines it added. With cut_at: the program
    is killed (no chance to tidy up, as a power cut) once that many bytes are kept."""
    before = len(log.lines())
    kept = os.path.join(wine.unix(KEPT_FOLDER), SETUP_NAME.upper() + ".partial")
    # The setup the run before launched outlives it for a moment; a run that finds it still running
    # takes it for the scanner in use.
    wait_until(lambda: wine_pid(SETUP_NAME, ARGS.prefix) is None, 60, "the last run's setup to end")
    program = Program(wine, args=["/update", "/quiet"], extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"}).start()
    try:
        if cut_at:
            wait_until(lambda: os.path.exists(kept) and os.path.getsize(kept) >= cut_at, 300, "half the file kept")
            os.kill(wine_pid("QuorvelDownloader.exe", ARGS.prefix), signal.SIGKILL)
            program.process.wait(30)
            return None
        if program.wait(300) != 0:
            raise RuntimeError("/update /quiet did not end with 0")
    finally:
        if program.process.poll() is None:
            program.process.kill()
    events = log_events(log.lines()[before:])
    return ((events["handoff.launch"][0] - events["download.start"][0]) * 1000,
            float(events["download.received"][1]["ms"]))


def resume_costs(wine, temp):
    """A download of the signed setup the statement names, cut at half by the program's end and
    finished by the next run, against an unbroken one, taking turns: the bytes the server sent for
    both runs and the second run's time."""
    signer = Signer.make(os.path.join(os.path.dirname(ARGS.build), "signing"), "a")
    trust_certificate(wine.env, signer.cert)
    with open(os.path.join(ARGS.build, "DemoSetup.exe"), "rb") as f:
        demo = f.read()
    size = RESUME_SIZE_MIB * MIB
    setup = signer.sign(demo + os.urandom(max(size - len(demo), 0)))
    record, downloaded = road_files(wine)
    runs = []
    with port_5301():
        ftp = FtpFixture(port=5301, max_lifetime=3600)
        try:
            ftp.add_file("/Software/" + SETUP_NAME, setup)
            publish_release(ftp, "/Software", signer)
            ftp.start()
            ftp.set_faults(rate=RESUME_RATE)
            for _ in range(RESUME_ROUNDS):
                log = DiagnosticsLog(wine)  # also removes anything kept
                remove_files(record, downloaded)
                unbroken, unbroken_received = quiet_update(wine, log)
                remove_files(record, downloaded)
                ftp.clear_requests()
                quiet_update(wine, log, cut_at=len(setup) // 2)
                resumed, resumed_received = quiet_update(wine, log)
                if not filecmp.cmp(ftp.path_of("/Software/" + SETUP_NAME), downloaded, shallow=False):
                    raise RuntimeError("the resumed download differs from the served file")
                sent = served_bytes(ftp, SETUP_NAME)
                runs.append({"unbroken_ms": unbroken, "resumed_ms": resumed, "served": sent / len(setup),
                             "unbroken_received_ms": unbroken_received, "resumed_received_ms": resumed_received})
                print("  unbroken %.0f ms, resumed %.0f ms, served %.3f of the file" %
                      (unbroken, resumed, sent / len(setup)), flush=True)
        finally:
            ftp.cleanup()
    return {key: statistics.median(r[key] for r in runs) for key in runs[0]}


def resume_rows(m):
    time_ratio = m["resumed_ms"] / (m["unbroken_ms"] / 2)
    return [
        ("Bytes served / file size: %d MiB at %s cut at half by the program's end, finished by the next run "
         "(medians of %d)" % (RESUME_SIZE_MIB, rate_label(RESUME_RATE), RESUME_ROUNDS),
         "%.3f" % m["served"], "1", "%.3f" % m["served"], "<= 1.05", yes(m["served"] <= 1.05)),
        ("Second run's download start to launch / half of an unbroken run's",
         "%.2f s" % (m["resumed_ms"] / 1000), "%.2f s" % (m["unbroken_ms"] / 2000), "%.2f" % time_ratio, "<= 1.10",
         yes(time_ratio <= 1.10)),
        # The setup's checks after the transfer (its digest and signature read the whole file) take the
        # same time in both runs, so they do not halve; this row leaves them out.
        ("Second run's download start to every byte on disk (kept bytes read back included) / half an "
         "unbroken run's",
         "%.2f s" % (m["resumed_received_ms"] / 1000), "%.2f s" % (m["unbroken_received_ms"] / 2000),
         "%.2f" % (m["resumed_received_ms"] / (m["unbroken_received_ms"] / 2)), "-", "-"),
    ]


HTTPS_SETUP = "/Software/" + SETUP_NAME


def snapshot(temp, names):
    """Copies of programs of the build, taken once: the build folder may be rebuilt during a run."""
    folder = os.path.join(temp, "build")
    os.makedirs(folder, exist_ok=True)
    for name in names:
        shutil.copy(os.path.join(ARGS.build, name), folder)
    return folder


def curl_https(url, out_path):
    """Downloads url trusting the test CA; returns curl's time_total in seconds."""
    out = subprocess.run(["curl", "-s", "-S", "--cacert", os.path.join(TLS, "ca.pem"), "-o", out_path,
                          "-w", "%{time_total}", url], capture_output=True, check=True, text=True).stdout
    return float(out.strip())


def https_update(wine, exe, web, served):
    """`/update /quiet` with the HTTPS server as the one source, to the setup's launch. Returns the
    download's time from the diagnostics log (download.done's ms: download.start to the file closed
    and checked), the wall time of the Wine process (start-up, statement, download, launch), the body
    bytes the server sent of the setup and the reconnections the log shows."""
    log = DiagnosticsLog(wine)
    record, downloaded = road_files(wine)
    remove_files(record, downloaded)
    web.clear_requests()
    env = dict(wine.env, QV_TEST_UPDATE_SOURCES=web.url("/"), QV_SETUP_AUTOCLOSE_MS="500")
    start = time.monotonic()
    rc = subprocess.run(["wine", exe, "/update", "/quiet"], env=env, stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600).returncode
    wall = time.monotonic() - start
    if rc != 0:
        raise RuntimeError("/update /quiet exited with %d:\n%s" % (rc, "\n".join(log.lines()[-20:])))
    wait_until(lambda: os.path.exists(record), 30, "the setup program started by the hand-off")
    if not filecmp.cmp(served, downloaded, shallow=False):
        raise RuntimeError("the program's download differs from the served file")
    events = log_events(log.lines())
    if os.environ.get("QV_BENCH_KEEP_LOG"):
        with open(os.environ["QV_BENCH_KEEP_LOG"], "a") as f:
            f.write("\n".join(log.lines() + web.requests()) + "\n\n")
    prefix = "GET %s " % HTTPS_SETUP
    sent = [int(r.rsplit("sent=", 1)[1]) for r in web.requests() if r.startswith(prefix)]
    # download.received: every byte on disk, before the setup's checks and the final pause.
    transfer = float(events["download.received"][1]["ms"]) / 1000
    return {"download": float(events["download.done"][1]["ms"]) / 1000, "transfer": transfer, "wall": wall,
            "served": sum(sent),
            "responses": len(sent), "reconnects": sum(" download.reconnect " in line for line in log.lines())}


def https_costs(wine, temp):
    """The real program's `/update /quiet` over HTTPS at 12.5 MB/s against curl from the same server,
    the same through a local proxy (CONNECT), and with every response cut after 16 MiB more of the
    body, resumed by Range requests: HTTPS_RUNS rounds, taking turns. The source is on a free port
    (QV_TEST_UPDATE_SOURCES): nothing here uses port 5301."""
    build = snapshot(temp, ("QuorvelDownloader.exe", "DemoSetup.exe"))
    exe = "c:\\qvbench\\https\\QuorvelDownloader.exe"
    os.makedirs(os.path.dirname(wine.unix(exe)), exist_ok=True)
    shutil.copy(os.path.join(build, "QuorvelDownloader.exe"), wine.unix(exe))
    signing = os.path.join(os.path.dirname(ARGS.build), "signing")
    signer = Signer.make(signing, "a")
    demo = os.path.join(build, "DemoSetup.exe")
    setup = signed_demo_setup(demo, signing, os.urandom(max(HTTPS_SIZE_MIB * MIB - os.path.getsize(demo), 0)))
    size = len(setup)
    # Without pins the statement's signer must chain to a root the prefix trusts, as must the server.
    trust_test_ca(wine.env)
    trust_certificate(wine.env, signer.cert)
    remove_scanner(wine)
    kinds = ("curl", "direct", "proxy", "reset")
    runs = {kind: [] for kind in kinds}
    web = HttpsFixture(max_lifetime=3600)
    proxy = ProxyFixture(max_lifetime=3600)
    try:
        web.add_file(HTTPS_SETUP, setup)
        publish_release(web, "/Software", signer)
        served = web.path_of(HTTPS_SETUP)
        web.start()
        proxy.start()
        for _ in range(HTTPS_RUNS):
            for kind in kinds:
                if kind == "curl":
                    web.set_faults(rate=WHOLE_RATE)
                    out = os.path.join(temp, SETUP_NAME)
                    web.clear_requests()
                    seconds = curl_https(web.url(HTTPS_SETUP), out)
                    if not filecmp.cmp(served, out, shallow=False):
                        raise RuntimeError("curl's download differs from the served file")
                    os.remove(out)
                    runs[kind].append({"download": seconds})
                    continue
                faults = {"rate": WHOLE_RATE}
                if kind == "reset":
                    # reset_after counts each response's body: every attempt is cut 16 MiB further on.
                    faults["reset_after"] = {HTTPS_SETUP: HTTPS_RESET_MIB * MIB}
                web.set_faults(**faults)
                proxy.clear_requests()
                proxy_off = set_system_proxy(wine, proxy.address) if kind == "proxy" else (lambda: None)
                try:
                    r = https_update(wine, exe, web, served)
                finally:
                    proxy_off()
                tunnelled = any(line.startswith("CONNECT localhost:%d 200" % web.port) for line in proxy.requests())
                if tunnelled != (kind == "proxy"):
                    raise RuntimeError("%s: the proxy's log says %r" % (kind, proxy.requests()))
                if kind == "reset" and r["reconnects"] < (size - 1) // (HTTPS_RESET_MIB * MIB):
                    raise RuntimeError("reset: only %d reconnections in the log" % r["reconnects"])
                runs[kind].append(r)
            print("  " + "; ".join("%s %s" % (kind, ", ".join("%s %s" % (k, ("%.2f" % v) if isinstance(v, float) else v)
                                                             for k, v in runs[kind][-1].items())) for kind in kinds),
                  flush=True)
    finally:
        proxy.cleanup()
        web.cleanup()
    m = {kind: {key: statistics.median(r[key] for r in results) for key in results[0]}
         for kind, results in runs.items()}
    m["size"] = size
    m["reset"]["served_ratio"] = max(r["served"] for r in runs["reset"]) / size
    m["reset"]["responses"] = max(r["responses"] for r in runs["reset"])
    return m


def https_rows(m):
    curl_s, direct, proxy, reset = m["curl"]["download"], m["direct"], m["proxy"], m["reset"]
    line = "%d MiB signed setup over HTTPS at %s" % (HTTPS_SIZE_MIB, rate_label(WHOLE_RATE))
    size = m["size"]

    def run(r):
        return "%.2f s, %.1f MB/s (download.done %.2f s)" % (r["transfer"], mb_per_s(size, r["transfer"]), r["download"])

    rows = [("%s: `/update /quiet`, download.start to download.received (every byte on disk) / curl (medians of "
             "%d, taking turns)" % (line, HTTPS_RUNS), run(direct), "%.2f s, %.1f MB/s" % (curl_s, mb_per_s(size, curl_s)),
             "%.3f" % (direct["transfer"] / curl_s), "<= 1.05", yes(direct["transfer"] / curl_s <= 1.05)),
            ("%s: download.start to download.done (the setup's checks and the 500 ms final pause included) / curl"
             % line, "%.2f s" % direct["download"], "%.2f s" % curl_s, "%.3f" % (direct["download"] / curl_s), "-",
             "-"),
            ("%s: the whole Wine process (start-up, statement, download, check, launch) / curl" % line,
             "%.2f s" % direct["wall"], "%.2f s" % curl_s, "%.3f" % (direct["wall"] / curl_s), "-", "-"),
            ("%s: through the system proxy (CONNECT) / direct, download.received" % line, run(proxy), run(direct),
             "%.3f" % (proxy["transfer"] / direct["transfer"]), "<= 1.10",
             yes(proxy["transfer"] / direct["transfer"] <= 1.10)),
            ("%s, connection reset after every %d MiB of a response (resumed by Range; %d responses): "
             "bytes served / file size" % (line, HTTPS_RESET_MIB, reset["responses"]),
             "%.4f" % reset["served_ratio"], "1 (each byte once)", "%.4f" % reset["served_ratio"], "<= 1.05",
             yes(reset["served_ratio"] <= 1.05)),
            ("%s, reset every %d MiB / unbroken, download.received" % (line, HTTPS_RESET_MIB), run(reset),
             run(direct), "%.3f" % (reset["transfer"] / direct["transfer"]), "<= 1.15",
             yes(reset["transfer"] / direct["transfer"] <= 1.15))]
    return rows


def program_exe():
    return os.path.abspath(ARGS.program or os.path.join(ARGS.build, "QuorvelDownloader.exe"))


def program_of(wine, exe=None, **options):
    """The program installed for a run, copied from exe (default: --program or the build's)."""
    program = Program(wine, **options)
    shutil.copy(exe or program_exe(), program.path)
    return program


def wall_time(wine, args, timeout=120):
    """Runs a Windows program to its end; returns (exit code, seconds from the Linux side, the Wine
    process's start included)."""
    start = time.monotonic()
    r = subprocess.run(["wine"] + list(args), env=wine.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout)
    return r.returncode, time.monotonic() - start


def check_costs(wine):
    """`QuorvelDownloader.exe /check` (no window) against RefFtpList.exe, a bare WinINet program that
    connects and lists the same folder, taking turns on one server on port 5301 that serves the
    demo's folder: a signed demo setup and a few other files, no release statement. The first round
    warms Wine up and is not counted."""
    program = program_of(wine)
    reference = "c:\\qvbench\\RefFtpList.exe"
    copy = wine.unix(reference)
    os.makedirs(os.path.dirname(copy), exist_ok=True)
    shutil.copy(os.path.join(ARGS.build, "RefFtpList.exe"), copy)
    remove_scanner(wine)
    runs = [("program", [program.win_path, "/check"], 10), ("reference", [reference], 0)]
    times = {who: [] for who, _, _ in runs}
    with port_5301():
        ftp = FtpFixture(port=5301, max_lifetime=1800)
        try:
            ftp.add_file("/Software/" + SETUP_NAME, setup_bytes(0))
            ftp.add_file("/Software/readme.txt", b"TALVIX demo update server\r\n")
            ftp.add_file("/Software/history.txt", b"7.4.0.0 demo build\r\n" * 40)
            ftp.add_file("/Software/manual.pdf", 200_000)
            ftp.add_file("/Software/license.txt", 3_000)
            ftp.start()
            for i in range(CHECK_RUNS + 1):
                for who, args, expected in runs:
                    ftp.clear_requests()
                    rc, seconds = wall_time(wine, args)
                    requests = ftp.requests()
                    if rc != expected or not any(r.startswith("LIST /Software") for r in requests):
                        raise RuntimeError("%s: exit %d (expected %d), requests %r" % (who, rc, expected, requests))
                    if any(r.startswith("RETR ") for r in requests):
                        raise RuntimeError("%s downloaded something: %r" % (who, requests))
                    if i > 0:
                        times[who].append(seconds * 1000)
        finally:
            ftp.cleanup()
    print("  /check and the bare listing (ms): %s" % {k: ["%.0f" % t for t in v] for k, v in times.items()},
          flush=True)
    return {"median": {k: statistics.median(v) for k, v in times.items()},
            "fastest": {k: min(v) for k, v in times.items()}}


def check_rows(m):
    median, fastest = m["median"], m["fastest"]
    ratio = median["program"] / median["reference"]
    return [
        ("`/check` against the local server (no window), wall time from Linux / bare WinINet program "
         "connecting and listing the same folder (medians of %d, taking turns; fastest in brackets)" % CHECK_RUNS,
         "%.0f ms (%.0f)" % (median["program"], fastest["program"]),
         "%.0f ms (%.0f)" % (median["reference"], fastest["reference"]),
         "%.2f (%.2f)" % (ratio, fastest["program"] / fastest["reference"]), "<= 1.3", yes(ratio <= 1.3)),
    ]


def idle_cpu(pid, server):
    """CPU use of the process and of the wineserver over IDLE_SECONDS, in percent of one core."""
    before, server_before, start = cpu_seconds(pid), cpu_seconds(server), time.monotonic()
    time.sleep(IDLE_SECONDS)
    elapsed = time.monotonic() - start
    return ((cpu_seconds(pid) - before) / elapsed * 100, (cpu_seconds(server) - server_before) / elapsed * 100)


def count_paints(wine, watch, temp, exe=None):
    """WM_PAINTs of the item list from the Start click to the end of the program, seen through
    Wine's "message" debug channel limited to WM_PAINT (SpyInclude)."""
    wine.run(["reg", "add", r"HKCU\Software\Wine\Debug", "/v", "SpyInclude", "/d", "WM_PAINT", "/f"])
    log_path = os.path.join(temp, "paint-trace.log")
    program = program_of(wine, exe, extra_env={"QV_SETUP_AUTOCLOSE_MS": "500"})
    env = dict(program.env, WINEDEBUG="-all,+message")
    with open(log_path, "wb") as log:
        process = subprocess.Popen(["wine", program.win_path], env=env, stdout=subprocess.DEVNULL, stderr=log)
        try:
            Driver(wine).wait_main()
            time.sleep(0.5)
            start = os.path.getsize(log_path)
            rc, out = wine.run([watch, "download", "Completed", "300000"], timeout=330)
            if rc != 0:
                raise RuntimeError("traced download: exit %d %r" % (rc, out))
            process.wait(60)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait(10)
    end = os.path.getsize(log_path)
    list_hwnd = int(key_values(out.decode().replace("\r", ""))["list"], 16)
    return count_list_paints(log_path, start, end, list_hwnd)


# --- the table

def rate_label(rate):
    return "unthrottled" if rate == 0 else "%g MB/s" % (rate / 1e6)


def yes(ok):
    return "yes" if ok else "**no**"


def build_table(tp, wp, logic_ns, line, dpi):
    rows = []

    def add(what, program, reference, ratio, target, met):
        rows.append((what, program, reference, ratio, target, met))

    for mib in SIZES_MIB:
        size = mib * MIB
        r = tp[(mib, 0)]
        ratio = r["program"] / r["bare"]
        add("%d MiB unthrottled: transfer path / bare WinINet loop" % mib,
            "%.2f s, %.1f MB/s" % (r["program"], mb_per_s(size, r["program"])),
            "%.2f s, %.1f MB/s" % (r["bare"], mb_per_s(size, r["bare"])), "%.3f" % ratio,
            "<= 1.10", yes(ratio <= 1.10))
        for rate in RATES:
            r = tp[(mib, rate)]
            if rate and "bare" in r:
                ratio = r["program"] / r["bare"]
                add("%d MiB %s: transfer path / bare WinINet loop" % (mib, rate_label(rate)),
                    "%.2f s, %.1f MB/s" % (r["program"], mb_per_s(size, r["program"])),
                    "%.2f s, %.1f MB/s (%.3f of curl)" % (r["bare"], mb_per_s(size, r["bare"]), r["bare"] / r["curl"]),
                    "%.3f" % ratio, "-", "-")
            ratio = r["program"] / r["curl"]
            throttled = rate != 0 and mib >= 64
            add("%d MiB %s: transfer path / curl" % (mib, rate_label(rate)),
                "%.2f s, %.1f MB/s" % (r["program"], mb_per_s(size, r["program"])),
                "%.2f s, %.1f MB/s" % (r["curl"], mb_per_s(size, r["curl"])), "%.3f" % ratio,
                "<= 1.05" if throttled else "-", yes(ratio <= 1.05) if throttled else "-")

    size = WHOLE_SIZE_MIB * MIB
    ratio = wp["whole"] / wp["whole_curl"]
    add("Whole program, %d MiB at %s: Start click to \"Completed\" / curl"
        % (WHOLE_SIZE_MIB, rate_label(WHOLE_RATE)),
        "%.2f s, %.1f MB/s (first %% after %.2f s)" % (wp["whole"], mb_per_s(size, wp["whole"]),
                                                     wp["whole_first_progress"]),
        "%.2f s, %.1f MB/s" % (wp["whole_curl"], mb_per_s(size, wp["whole_curl"])), "%.3f" % ratio, "-", "-")
    per100 = 1e8 / size
    add("Whole program, CPU seconds per 100 MB / curl",
        "%.3f s (wineserver %.3f s more)" % (wp["whole_cpu"] * per100, wp["whole_server_cpu"] * per100),
        "%.3f s" % (wp["whole_curl_cpu"] * per100),
        "%.1f" % (wp["whole_cpu"] / max(wp["whole_curl_cpu"], 1e-9)), "-", "-")
    add("Whole program, item list repaints during one download", "%d" % wp["paints"], "-", "-",
        "<= 110", yes(wp["paints"] <= 110))
    big = SIZES_MIB[-1]
    per_block = tp[(big, 0)]["program"] / -(-big * MIB // BLOCK)
    add("Transfer logic alone per block (native, no I/O) / the transfer path's time per block (%d MiB "
        "unthrottled)" % big, "%.2f us" % (logic_ns / 1000), "%.3f ms" % (per_block * 1000),
        "%.5f" % (logic_ns / 1e9 / per_block), "-", "-")
    updates = max(r["status_updates"] for r in tp.values())
    add("Transfer path, progress texts handed to the list per download (most of any run)",
        "%d" % updates, "-", "-", "<= 110", yes(updates <= 110))
    for key, state in (("idle_msgbox", "message box waiting"), ("idle_main", "main window")):
        program, server = wp[key]
        add("Idle CPU over %d s, %s" % (IDLE_SECONDS, state), "%.2f %% (wineserver %.2f %%)" % (program, server),
            "-", "-", "< 1 %", yes(program < 1 and server < 1))
    s = wp["startup"]
    ratio = s["program"] / s["minimal"]
    fastest = {k: min(v) for k, v in wp["startup_runs"].items()}
    add("Start-up to the main window shown / minimal window (medians of %d; fastest in brackets)" % STARTUP_RUNS,
        "%.0f ms (%.0f)" % (s["program"], fastest["program"]), "%.0f ms (%.0f)" % (s["minimal"], fastest["minimal"]),
        "%.2f (%.2f)" % (ratio, fastest["program"] / fastest["minimal"]), "<= 1.5", yes(ratio <= 1.5))
    check_ms, bare_ms, list_ms = (wp["check"][k] * 1000 for k in ("check", "bare-check", "curl"))
    add("Server check's FTP exchange (connect, list, disconnect): program's session / bare WinINet",
        "%.0f ms" % check_ms, "%.0f ms" % bare_ms, "%.2f" % (check_ms / bare_ms), "-", "-")
    add("Server check's FTP exchange: program's session / curl listing the same folder",
        "%.0f ms" % check_ms, "%.0f ms" % list_ms, "%.0f" % (check_ms / max(list_ms, 1e-3)), "-", "-")
    add("Minimal window importing the program's DLLs%s / minimal window"
        % ("" if wp["same_imports"] else " (**the import lists differ**)"),
        "%.0f ms" % s["imports"], "%.0f ms" % s["minimal"], "%.2f" % (s["imports"] / s["minimal"]), "-", "-")
    rest = s["program"] - check_ms
    add("Start-up less the server check's FTP exchange / minimal window importing the program's DLLs",
        "%.0f ms" % rest, "%.0f ms" % s["imports"], "%.2f" % (rest / s["imports"]), "-", "-")
    small, big = tp[(SIZES_MIB[0], 0)]["vm_hwm"], tp[(SIZES_MIB[-1], 0)]["vm_hwm"]
    ratio = big / small
    add("Peak working set (VmHWM), transfer path: %d MiB / %d MiB download" % (SIZES_MIB[-1], SIZES_MIB[0]),
        "%.1f MiB" % (big / MIB), "%.1f MiB" % (small / MIB), "%.3f" % ratio, "<= 1.10", yes(ratio <= 1.10))
    add("Peak working set (VmHWM), whole program after the %d MiB download" % WHOLE_SIZE_MIB,
        "%.1f MiB" % (wp["whole_hwm"] / MIB), "-", "-", "-", "-")
    rows += line_rows(line)
    rows += dpi_rows(dpi)
    return table_of(rows)


def load_average():
    """The one-minute load average: how busy the shared machine was."""
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def write_results(table, started, load_at_start):
    title = "# Benchmark results\n\nNewest run first; written by `bench/run.sh`.\n"
    earlier = ""
    if os.path.exists(ARGS.results):
        with open(ARGS.results, encoding="utf-8") as f:
            text = f.read()
        cut = text.find("\n## ")
        earlier = text[cut + 1:] if cut >= 0 else ""
    heading = "## %s, %d cores (%s, %s; load average %s at the start, %s at the end)%s\n\n" % (
        started.strftime("%Y-%m-%d %H:%M UTC"), os.cpu_count(), platform.machine(), wine_version(),
        load_at_start, load_average(),
        "; the DPI part alone" if ARGS.dpi_only else "; the poor line alone" if ARGS.line_only
        else "; the release checks alone" if ARGS.release_only else "; /check alone" if ARGS.check_only
        else "; HTTPS alone" if ARGS.https_only else "; the kept download alone" if ARGS.resume_only
        else "; the fleet install alone" if ARGS.fleet_only
        else "; the window against %s" % (ARGS.reference_label or ARGS.reference_program) if ARGS.window_only else "")
    with open(ARGS.results, "w", encoding="utf-8") as f:
        f.write(title + "\n" + heading + table + "\n" + ("\n" + earlier if earlier else ""))


def wine_version():
    return subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()


def main():
    started = datetime.datetime.now(datetime.timezone.utc)
    load_at_start = load_average()
    wine = Wine(prefix=ARGS.prefix)
    wine.kill_server()
    # One Wine session for the whole run, so no program pays for a session's start.
    persistent_session(wine)
    temp = tempfile.mkdtemp(prefix="qv-bench-")
    full = not (ARGS.line_only or ARGS.dpi_only or ARGS.release_only or ARGS.check_only or ARGS.https_only
                or ARGS.window_only or ARGS.resume_only or ARGS.fleet_only)
    try:
        line = dpi = release = check = https = window = resume = fleet = None
        if ARGS.resume_only:
            print("A download cut by the program's end and finished by the next run (port 5301):", flush=True)
            resume = resume_costs(wine, temp)
        if ARGS.fleet_only:
            print("A quiet install against the window, and a second run's refusal (port 5301):", flush=True)
            fleet = fleet_costs(wine, temp)
        if ARGS.window_only:
            print("The window against the reference build's (port 5301):", flush=True)
            window = window_costs(wine, temp)
        if ARGS.https_only:
            print("/update /quiet over HTTPS (free port):", flush=True)
            https = https_costs(wine, temp)
        if ARGS.check_only:
            print("/check against a bare WinINet listing (port 5301):", flush=True)
            check = check_costs(wine)
        if ARGS.release_only:
            print("Release checks of the real program (port 5301):", flush=True)
            release = release_costs(wine, temp)
        if full or ARGS.line_only:
            print("Transfer path on a poor line (free port):", flush=True)
            line = poor_line(wine, temp)
        if full:
            print("Transfer path against curl (free port):", flush=True)
            tp = throughput(wine, temp)
            logic_ns = logic_per_block()
            print("Whole program (port 5301):", flush=True)
            wp = whole_program(wine, temp)
        if full or ARGS.dpi_only:
            print("The program at 144 DPI against 96 DPI (port 5301):", flush=True)
            dpi = dpi_costs(wine, temp)
    finally:
        wine.kill_server()
        shutil.rmtree(temp, ignore_errors=True)
    if ARGS.fleet_only:
        table = table_of(fleet_rows(fleet))
    elif ARGS.window_only:
        table = table_of(window_rows(window))
    elif ARGS.https_only:
        table = table_of(https_rows(https))
    elif ARGS.check_only:
        table = table_of(check_rows(check))
    elif ARGS.release_only:
        table = table_of(release_rows(release))
    elif ARGS.resume_only:
        table = table_of(resume_rows(resume))
    elif ARGS.line_only:
        table = table_of(line_rows(line))
    elif ARGS.dpi_only:
        table = table_of(dpi_rows(dpi))
    else:
        table = build_table(tp, wp, logic_ns, line, dpi)
    print()
    print(table)
    if not ARGS.quick:
        write_results(table, started, load_at_start)
    elapsed = (datetime.datetime.now(datetime.timezone.utc) - started).total_seconds()
    print("\n%s (%.0f s)" % ("Quick check, nothing written" if ARGS.quick else "Written to " + ARGS.results,
                            elapsed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
