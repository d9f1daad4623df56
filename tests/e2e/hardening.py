"""Helpers of the hardening tests (the fault soak and the bad input).

PrefixWatch notices files written into the Wine prefix's drive C outside the program's work folder:

    watch = PrefixWatch(wine)          # remembers every file and folder of drive C now
    ...                                # run the program
    assert watch.changes() == []       # paths added, removed or rewritten since

Wine's own bookkeeping is left out: its temporary files, WinINet's URL cache folders and index
(made on first use; any other file in the cache is a copy of a download and counts), and the
record that the demo setup program writes when it is launched; and the program's own diagnostics log.
"""
import os
import shutil
import sys

from harness import BIN, LOG_FOLDER, SETUP_RECORD, WORK_FOLDER, Program, Wine, demo_setup_signed, remove_scanner

WINE_CHURN = ("windows/temp/wine",)
URL_CACHE = "appdata/local/microsoft/windows/inetcache/"


def _relative(wine, win_path):
    return os.path.relpath(wine.unix(win_path), wine.unix("c:\\")).replace(os.sep, "/").lower()


class PrefixWatch:
    def __init__(self, wine):
        self.root = wine.unix("c:\\")
        self.work = _relative(wine, WORK_FOLDER)
        self.ignored = WINE_CHURN + (_relative(wine, SETUP_RECORD), _relative(wine, LOG_FOLDER))
        self.baseline = self.snapshot()

    def ignore(self, rel, is_folder):
        lower = rel.lower()
        if lower == self.work or lower.startswith(self.ignored):
            return True
        return URL_CACHE in lower and (is_folder or lower.endswith("/index.dat"))

    def snapshot(self):
        """Every file and folder of drive C: path -> (size, modification time); None for folders."""
        found = {}
        for folder, dirs, files in os.walk(self.root):
            rel_folder = os.path.relpath(folder, self.root).replace(os.sep, "/")
            dirs[:] = [d for d in dirs if os.path.normpath(rel_folder + "/" + d).lower() != self.work]
            for name in dirs + files:
                rel = os.path.normpath(os.path.join(rel_folder, name)).replace(os.sep, "/")
                if self.ignore(rel, name in dirs):
                    continue
                try:
                    st = os.lstat(os.path.join(folder, name))
                except OSError:
                    continue
                found[rel] = None if name in dirs else (st.st_size, st.st_mtime_ns)
        return found

    def changes(self):
        now = self.snapshot()
        before = self.baseline
        return sorted(set(before) ^ set(now) | {p for p in before if p in now and before[p] != now[p]})


def demo_setup(padding=0):
    """The demo setup program followed by random bytes, signed, so a completed download can be launched."""
    return demo_setup_signed(padding)


def log(line):
    """A progress line on stderr, beside unittest's own output."""
    sys.stderr.write(line + "\n")
    sys.stderr.flush()


def prepare_program(test, lang="en_US.UTF-8"):
    """A fresh Wine session in the language given with no scanner, no setup record and no work
    folder (removed again at clean-up), and a copy of the program whose demo setup closes itself.
    Returns (wine, program, work folder, setup record), the last two as Unix paths."""
    wine = Wine(lang=lang)
    wine.kill_server()  # the language is read when the Wine session starts
    remove_scanner(wine)
    work, record = wine.unix(WORK_FOLDER), wine.unix(SETUP_RECORD)

    def remove_record():
        if os.path.exists(record):
            os.remove(record)

    remove_record()
    test.addCleanup(remove_record)
    test.addCleanup(shutil.rmtree, work, True)
    # Short bounds of a poor line (silence, slow-line window, first retry pause in ms).
    program = Program(wine, extra_env={"QV_SETUP_AUTOCLOSE_MS": "500", "QV_TEST_LINE_BOUNDS": "2000,60000,200"})
    test.addCleanup(program.kill)
    return wine, program, work, record
