#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into tests/fuzz/corpus/<name>/.

The seeds follow the input layout each target reads with FuzzInput (FuzzInput.h): little-endian
integers, strings as a length byte (255: a 16-bit length follows) and one byte per character.
Run it again after changing a target's layout; the fuzz runs never write into this folder.
"""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(ROOT, "tests", "fuzz", "corpus")

# Characters FuzzInput.WideFromBytes reaches through bytes 0x80..0x9F.
SPECIAL = {0x0131: 0x80, 0xAC00: 0x8B, 0xD55C: 0x8C, 0xFF0F: 0x92, 0xFF3C: 0x93, 0x00B9: 0x9F}


def u8(v):
    return struct.pack("<B", v & 0xFF)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def i32(v):
    return struct.pack("<i", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def f64(v):
    return struct.pack("<d", v)


def raw(data):
    return (u8(len(data)) if len(data) < 255 else u8(255) + u16(len(data))) + data


def wide(text):
    out = bytearray()
    for ch in text:
        cp = ord(ch)
        if cp < 0x80 or 0xA0 <= cp <= 0xFF:
            out.append(cp)
        elif cp in SPECIAL:
            out.append(SPECIAL[cp])
        else:
            raise ValueError("no byte stands for U+%04X" % cp)
    return raw(bytes(out))


def in_range(value, lo, hi):
    span = hi - lo + 1
    return u8(value - lo) if span <= 256 else u16(value - lo)


def text_table():
    resource = open(os.path.join(ROOT, "resources", "TextTable.txt"), "rb").read()
    head = lambda flags, index, percent, arg: u8(flags) + i32(index) + f64(percent) + raw(arg)
    return {
        "resource_english": head(1, 0, 42.5, b"%") + resource,
        "resource_korean_cut_at_zero": head(1, 1, 100.0, b"%") + resource + b"\0tail^x;",
        "fields_and_breaks": head(0, 2, 0.0, b"%") + b"a^b^c;d\\nx^e\r\n;f^;;g",
        "broken_utf8": head(0, -1, float("nan"), b"\xed\xa0\x80") +
                       b"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80ab\xe2\x82;^\r\r\n\n;\r\\n;",
        "formats": head(0, 7, 1e308, "진행중".encode()) +
                   "진행중..%.0f%s^ %.0f / 100[%%];%.9f%d%s%%%q%;%s%f;%.f%".encode(),
    }


def listing():
    def record(name, size, raw_field=False):
        return u8(1 if raw_field else 0) + i32(size) + wide(name)
    def listed(name, size):
        return u8(2) + u32(size) + u32(size >> 32) + wide(name)
    return {
        "text_then_setup": u8(0) + wide("KSF.QuorvelDownloader.exe") +
                           record("readme.txt", 10) + record("TALVIX_FULL_250101.exe", 70000),
        "unsafe_names": u8(1) + wide("QuorvelDownloader.exe") +
                        record("..\\evil_250101.exe", 1) + record("a/b_250101.exe", 2) +
                        record("c:x_250101.exe", 3) + record("CON.exe", 4) + record("x.exe ", 5) +
                        record("COM\u00b9.exe", 6) + record("TALVIX_250101.exe", 7),
        "long_names": u8(0) + wide("BMS.QuorvelDownloader.exe") + record("A" * 296 + ".exe", 9) +
                      record("B" * 255 + ".exe", 10) + record("C_250101.exe", 11, raw_field=True),
        "korean_and_sizes": u8(0) + wide("ulf.QuorvelDownloader.exe") +
                            record("\uac00\ud55c_250101.exe", 0) + record("TALVIX_250102.exe", 2**31 - 1) +
                            record("TALVIX_250103.exe", -1) + listed("TALVIX_250104.exe", 2**32 + 100) +
                            listed("TALVIX_250105.exe", 2**31),
        "extension_rules": u8(1) + wide("XYZ.QuorvelDownloader.exe") + record("setup.exe.txt", 1) +
                           record("a_exec", 2) + record("TALVIX.EXE", 3) + record("exe", 4),
    }


def edition():
    def titles(*items):
        return b"".join(u8(test) + wide(title) for test, title in items)
    return {
        "codes": titles((0, "KSF.QuorvelDownloader.exe"), (1, "ksf.QuorvelDownloader.exe"),
                        (0, "BMS.QuorvelDownloader"), (1, "mbf.QuorvelDownloader.exe")),
        "no_code": titles((0, "QuorvelDownloader.exe"), (1, "QuorvelDownloader")),
        "unknown_code": titles((0, "XYZ.QuorvelDownloader.exe"), (1, "..\\KSF.QuorvelDownloader.exe")),
        "nested_name": titles((0, "QuorvelQuorvelDownloaderDownloader.exe"),
                              (1, "QuorvelDownloaderKSFQuorvelDownloader.x")),
        "odd_letters": titles((0, "\u0131SF.exe"), (1, "\uff0fKSF.exe"), (0, "\u00ffX.y")),
    }


def local_name():
    def names(*items):
        return b"".join(wide(n) for n in items)
    return {
        "setups": names("TALVIX_FULL_250101.exe", "a.cif.exe", "setup.CIF.exe", "x.cif"),
        "devices": names("CON", "com1.exe", "COM\u00b9.exe", "nul .txt", "CONIN$", "lpt9", "COM0.exe"),
        "steps_and_separators": names("..", ".", "a.", "a ", "a\\b.exe", "a/b.exe", "c:x.exe", "\uff0f.exe"),
        "controls_and_length": names("a\x01b.exe", "\x7f.exe", "L" * 255, "M" * 256, ""),
        "case_folding": names("\u0131\u0131.cif.exe", "\u00e9t\u00e9.exe", "\u00ff.exe"),
    }


def handoff():
    work = "c:\\Windows\\Temp\\QVUpdate\\\\"
    def paths(*items):
        return b"".join(wide(p) for p in items)
    return {
        "one_version": paths(work + "TALVIX_APP_250101.EXE", work + "TALVIX_FULL_250101.EXE"),
        "kinds_and_versions": paths(work + "T_OS_240101.EXE", work + "T_FW_250101.EXE",
                                    work + "T_DIAG_250101.EXE", work + "T_X_250101.EXE",
                                    work + "sub\\T_FULL_240101.EXE", work + "NEXT_UPDATE_INFO.INI"),
        "signs_and_spaces": paths(" -12345.exe", "+00001.exe", "   1.exe", "abcdef.exe", ".exe", ""),
        "no_setup": paths(work + "readme.txt", work + "data.bin"),
        "equal_keys": paths("a_FULL_250101.exe", "b_FULL_250101.exe", "a_FULL_250101.exe"),
    }


def list_model():
    # A row or column argument: the flag for "near the edges", a pick past the edge choices, the value.
    def row(r):
        return u8(1) + u8(200) + in_range(r, -2, 352)
    def col(c):
        return u8(1) + u8(200) + in_range(c, -2, 8)
    def grid(rows, cols, redraw=1):
        return u8(0) + u8(1) + in_range(rows, -2, 370) + in_range(cols, -2, 9) + u8(redraw)
    def width(column, w):
        return u8(1) + col(column) + u8(1) + in_range(w, -5, 800)
    def text(r, column, s):
        return u8(3) + row(r) + col(column) + wide(s)
    def insert(r, s, data):
        return u8(4) + row(r) + wide(s) + i32(data)
    def check(r, flag):
        return u8(6) + row(r) + u8(flag)
    def vscroll(code, pos):
        return u8(9) + in_range(code, -1, 8) + u16(pos)
    def coord(v):
        return u8(0) + in_range(v, -1000, 3000)
    def down(x, y):
        return u8(13) + coord(x) + coord(y)
    def up(x, y):
        return u8(14) + coord(x) + coord(y)
    def viewport(w, h, bar):
        return u8(18) + u16(w) + u16(h) + in_range(bar, 0, 40)
    def delete_all(first):
        return u8(5) + col(first)
    setup = (grid(0, 4) + width(0, 420) + width(1, 130) + width(2, 130) + width(3, 150) +
             delete_all(0) + insert(0, "KESTRA-Factory", 0) + text(0, 1, "1.0.0") + text(0, 2, "250101") +
             text(0, 3, "Updatable") + check(0, 1))
    many = grid(0, 4) + b"".join(insert(0, "row %d" % k, k) for k in range(40))
    return {
        "item_list": setup + down(100, 50) + up(100, 50) + u8(15) + u8(19) + u16(0) + u16(0) + u16(600) + u16(300),
        "swipes": many + down(300, 250) + up(300, 100) + down(400, 100) + up(100, 100) + down(100, 60) +
                  up(100, 200) + u8(11) + u16(0xFF88) + u8(11) + u16(120),
        "scrolling": many + vscroll(5, 100) + vscroll(1, 0) + vscroll(3, 0) + vscroll(2, 0) + vscroll(0, 0) +
                     u8(16) + row(39) + u8(12) + u16(600) + u16(195) +
                     u8(21) + u8(1) + u8(1) + u8(12) + u16(600) + u16(400),
        "overflow": grid(400, 8) + insert(349, "last", 7) + insert(0, "first", 1) + text(351, 6, "x") +
                    viewport(600, 20, 17) + u8(20) + row(351)[1:] + col(7)[1:] + row(0)[1:] +
                    delete_all(9) + grid(-1, -1),
        "unit_zone": setup + width(2, 200) + down(500, 60) + up(560, 60) + down(10, 60) + up(700, 60) +
                     u8(10) + in_range(3, -1, 8) + u16(50) + u8(10) + in_range(1, -1, 8) + u16(0),
    }


def download():
    FULL, CIF, SETUP, ESCAPE, TEXT, OTHER = range(6)
    def item(name, size_kind, size_bytes, row=0):
        return u8(name) + u8(size_kind) + size_bytes + u8(row)
    def head(items, stop_after=0):
        return u8(len(items) - 1) + b"".join(items) + u16(stop_after)
    OK_CONNECT, OK_OPEN, RESET_OPEN, OK_CREATE, OK_WRITE = u8(0), u8(0), u8(2), u8(1), u8(1)
    FULL_READ = u8(0)
    def short_read(n):
        return u8(3) + u16(n)
    RESET_READ, FAIL_READ = u8(5), u8(6)
    size_70002 = (1, u16(23334))
    one_file = OK_CONNECT + OK_OPEN + OK_CREATE + (FULL_READ + OK_WRITE) * 3
    return {
        "three_blocks": head([item(FULL, *size_70002)]) + one_file,
        "reset_then_complete": head([item(CIF, *size_70002)]) + OK_CONNECT + OK_OPEN + OK_CREATE +
                               FULL_READ + OK_WRITE + RESET_READ + RESET_OPEN + OK_OPEN + OK_CREATE +
                               short_read(1000) + OK_WRITE + (FULL_READ + OK_WRITE) * 3,
        "empty_and_exact_blocks": head([item(SETUP, 0, u8(0)), item(FULL, 2, u8(2), 1)]) +
                                  OK_CONNECT + OK_OPEN + OK_CREATE + FULL_READ +
                                  OK_CONNECT + OK_OPEN + OK_CREATE + (FULL_READ + OK_WRITE) * 2,
        "failures": head([item(FULL, 0, u8(200)), item(FULL, 0, u8(100)), item(ESCAPE, 0, u8(5))]) +
                    OK_CONNECT + OK_OPEN + OK_CREATE + short_read(50) + OK_WRITE + short_read(0),
        "more_than_asked": head([item(FULL, 0, u8(100)), item(TEXT, 0, u8(1))]) +
                           OK_CONNECT + OK_OPEN + OK_CREATE + u8(4) + u8(9),
        "stop_in_transfer": head([item(FULL, 3, i32(2**31 - 1))], stop_after=4) +
                            OK_CONNECT + OK_OPEN + OK_CREATE + (FULL_READ + OK_WRITE) * 3,
    }


def pe_signature():
    def image(magic, table, pad_after=0, directories=16):
        optional = 96 + 16 * 8 if magic == 0x10B else 112 + 16 * 8
        head = bytearray(0x80 + 24 + optional)
        head[0:2] = b"MZ"
        head[0x3C:0x40] = u32(0x80)
        head[0x80:0x84] = b"PE\0\0"
        head[0x80 + 20:0x80 + 22] = u16(optional)
        opt = 0x80 + 24
        head[opt:opt + 2] = u16(magic)
        count = 92 if magic == 0x10B else 108
        head[opt + count:opt + count + 4] = u32(directories)
        entry = opt + count + 4 + 4 * 8
        body = bytes(head) + bytes(-len(head) % 8)
        head[entry:entry + 8] = u32(len(body)) + u32(len(table))
        return bytes(head) + bytes(-len(head) % 8) + table + bytes(pad_after)

    def table(der_len, entry_extra=0, pad=0):
        der = b"\x30\x82" + u16(der_len)[::-1] + bytes(der_len)
        exact = 8 + len(der)
        padding = -exact % 8 + pad
        return u32(exact + entry_extra) + u16(0x200) + u16(2) + der + bytes(padding)

    return {
        "sound_pe32": image(0x10B, table(1001)),
        "sound_pe32plus": image(0x20B, table(501, entry_extra=7)),
        "bytes_after_table": image(0x10B, table(1001), pad_after=64),
        "padding_beyond_alignment": image(0x10B, table(1001, pad=16)),
        "few_directories": image(0x10B, table(16), directories=4),
    }


def log_line():
    return {
        "plain": raw(b"127.0.0.1") + u32(1234) + b"TALVIX_FULL_250101.exe",
        "hostile": raw(b'a" b=1\r\nfake') + u32(0xFFFFFFFF) + b"\xed\x83\x88\xc0\xaf\x00\x1b\\",
        "cut_utf8": raw(b"\xe2\x82") + u32(0) + b"\xf4\x90\x80\x80",
    }


def release_statement():
    digest = "ab" * 32
    head = "QuorvelDownloader release 1\n"
    valid = (head + "# two setups\nedition OEM/KESTRA/Factory/Software\nserial 20261208132200\n"
             "expires 2027-03-08T13:22:00Z\n\nfile 12345678 " + digest + " 7.3.1.0 TALVIX_FULL_250101.exe\n"
             "file 70000 " + digest.upper() + " 65535.0.0.1 \uac00\ud55c setup.exe\n")
    crlf_downgrade = (head + "downgrade allowed\nrollout 25\nexpires 9999-12-31T23:59:59Z\nserial 18446744073709551615\n"
                      "edition Software\nfile 0 " + digest + " 0.0.0.0 " + "n" * 259).replace("\n", "\r\n")
    return {
        "valid": valid.encode(),
        "crlf_downgrade": crlf_downgrade.encode(),
        "repeated_file": (valid + "file 1 " + digest + " 7.3.1.0 TALVIX_FULL_250101.exe\n").encode(),
    }


def kept_record():
    sound = ("QuorvelDownloader kept 1\nedition OEM/KESTRA/Factory/Software\nname \uAC00 TALVIX_FULL_250101.exe\n"
             "size 12345678\nsha256 " + "ab" * 32 + "\nsince 1765300000\n").encode("utf-8")
    return {"valid": sound, "crlf": sound.replace(b"\n", b"\r\n"), "old_header": sound.replace(b"kept 1", b"kept 0")}


def http_rules():
    def response(status, offset, expected, content_range, content_length):
        known = expected >= 0
        expected = max(expected, 0)
        return (u16(status) + u32(offset) + u32(offset >> 32) + u32(expected) + u32(expected >> 32) +
                u8(known) + wide(content_range) + wide(content_length))
    folder = wide("OEM\\KESTRA\\Factory\\Software\\")
    return {
        "two_sources_part": wide("https://updates.example.com/qv/talvix; ftp://10.0.0.7:21") + folder +
                            wide("TALVIX_FULL_250101.exe") + response(206, 500, 1000, "bytes 500-999/1000", "500"),
        "korean_name_whole": wide(" HTTPS://h:8443//a/%EA%B0%80 ;;") + wide("a/b\\") +
                             wide("\uac00\ud55c setup.exe") + response(200, 0, 1000, "", "1000"),
        "past_4gib": wide("https://h/") + wide("") + wide("x") +
                     response(206, 2**32, 2**32 + 5, "bytes 4294967296-4294967300/4294967301", "5"),
        "bad_entries": wide("https://user@h/;https://h:70000;http://h;https://[::1]/;https://h/a?b") +
                       wide("") + wide("") + response(416, 7, -1, "bytes */1000", " 12 "),
        "odd_lengths": wide("ftp://h/x") + wide("") + wide("") +
                       response(206, 0, -1, "BYTES  0-0/*", "99999999999999999999"),
    }


def ftp_replies():
    return {"size": b"213 4294967301\r\n", "size_refused": b"550 SIZE not allowed in ASCII mode.",
            "restart": b"350 Restarting at 31720.", "size_zeros": b"213 000120 \r\n"}


TARGETS = {
    "pe_signature": pe_signature,
    "text_table": text_table,
    "listing": listing,
    "edition": edition,
    "local_name": local_name,
    "handoff": handoff,
    "list_model": list_model,
    "download": download,
    "log_line": log_line,
    "release_statement": release_statement,
    "http_rules": http_rules,
    "kept_record": kept_record,
    "ftp_replies": ftp_replies,
}


def main():
    for name in sys.argv[1:] or TARGETS:
        folder = os.path.join(CORPUS, name)
        os.makedirs(folder, exist_ok=True)
        for old in os.listdir(folder):
            os.remove(os.path.join(folder, old))
        for seed, data in TARGETS[name]().items():
            with open(os.path.join(folder, seed), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
