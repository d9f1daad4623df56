"""A lane of run.py: a worker process (worker.py) with a Wine prefix, an X display and, where one can be
made, a network namespace of its own, so cases in different lanes can use the same 127.0.0.1 ports.

    lane = Lane(1, folder, template_prefix, pattern, record, private_network=True)
    lane.start()            # copies the prefix, starts Xvfb and the worker
    report = lane.run(ids)  # the worker's report of the unit, or None when the worker died
    lane.stop()             # ends the worker, the prefix's Wine server and Xvfb by their ids;
                            # removes the copied prefix (about 1.3 GB)
"""
import json
import os
import select
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
XVFB_SCREEN = "1600x1300x24"


def can_make_private_network():
    """True when this process may make network namespaces (as root, with unshare and ip)."""
    if os.geteuid() != 0 or not (shutil.which("unshare") and shutil.which("ip")):
        return False
    probe = subprocess.run(["unshare", "-n", "ip", "link", "set", "lo", "up"], stderr=subprocess.DEVNULL)
    return probe.returncode == 0


def start_xvfb(log):
    """An Xvfb on a free display number; returns (process, ":N")."""
    read, write = os.pipe()
    try:
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", XVFB_SCREEN, "-nolisten", "tcp"],
                                pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    finally:
        os.close(write)
    try:
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read], [], [], 0.5)
            if ready:
                chunk = os.read(read, 16)
                if not chunk:
                    break
                number += chunk
    finally:
        os.close(read)
    if not number.strip().isdigit():
        end_process(xvfb)
        raise RuntimeError("Xvfb did not report its display")
    return xvfb, ":" + number.decode().strip()


def end_process(process, grace=10):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(10)


class Lane:
    def __init__(self, number, folder, template, pattern, record, private_network):
        self.number = number
        self.folder = os.path.join(folder, "lane-%d" % number)
        self.prefix = os.path.join(self.folder, "wine64")
        self.template = template
        self.pattern = pattern
        self.record = record
        self.private_network = private_network
        self.log_path = os.path.join(folder, "lane-%d.log" % number)
        self.worker = self.xvfb = self.log = None
        self.busy_seconds = 0.0
        self.lock = threading.Lock()
        self.stopped = False

    def start(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.log = open(self.log_path, "w", encoding="utf-8")
        subprocess.run(["cp", "-a", self.template, self.prefix], check=True, timeout=600)
        with self.lock:
            if self.stopped:
                raise RuntimeError("stopped while starting")
            self.xvfb, display = start_xvfb(self.log)
            env = dict(os.environ, WINEPREFIX=self.prefix, DISPLAY=display, QV_E2E_LANE=str(self.number))
            command = [sys.executable, os.path.join(HERE, "worker.py"), self.pattern, self.record]
            if self.private_network:
                env["QV_E2E_NETNS"] = "1"
                command = ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$0" "$@"'] + command
            self.worker = subprocess.Popen(command, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                           stderr=self.log, text=True, encoding="utf-8")
        self.describe = "lane %d (display %s%s)" % (self.number, display,
                                                     ", own network namespace" if self.private_network else "")

    def run(self, ids):
        """Runs a unit; the worker's report, or None when the worker has gone."""
        began = time.monotonic()
        try:
            self.worker.stdin.write(json.dumps(ids) + "\n")
            self.worker.stdin.flush()
            line = self.worker.stdout.readline()
        except (OSError, ValueError):
            line = ""
        self.busy_seconds += time.monotonic() - began
        return json.loads(line) if line else None

    def stop(self, at_once=False):
        """Ends what the lane started, each by its id, and removes its prefix; at once: without
        letting the worker finish its unit. Safe to call twice."""
        with self.lock:
            if self.stopped:
                return
            self.stopped = True
        if self.worker:
            try:
                self.worker.stdin.close()
            except OSError:
                pass
            try:
                self.worker.wait(0 if at_once else 30)
            except subprocess.TimeoutExpired:
                end_process(self.worker)
        if os.path.isdir(self.prefix):
            env = dict(os.environ, WINEPREFIX=self.prefix)
            for flag in ("-k", "-w"):
                try:
                    subprocess.run(["wineserver", flag], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
                except subprocess.TimeoutExpired:
                    pass
        if self.xvfb:
            end_process(self.xvfb)
        shutil.rmtree(self.folder, ignore_errors=True)
        if self.log:
            self.log.close()
