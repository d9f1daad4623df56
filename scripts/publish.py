#!/usr/bin/env python3
"""Writes the signed release statement of an edition's folder: release.txt and its detached
signature release.txt.p7s, naming every setup program in the folder (each regular file whose name
ends in ".exe") with its size, SHA-256 and the version of its version resource.

Usage:
    scripts/publish.py FOLDER --cert CERT.pem --key KEY.pem [--days N] [--serial N]
                       [--allow-downgrade] [--rollout PERCENT] [--edition E] [--quiet-args "ARGS"]
                       [--now TIME]

The serial is the UTC clock as YYYYMMDDHHMMSS unless given; the statement expires N days (90) from
now, and says when it was signed on a "#signed" line (a comment to older copies of the program),
which tells a PC whose clock is behind that it is. --now TIME (UTC, 2027-03-08T13:22:00Z) publishes
as at that time instead of the clock's (to try a PC's wrong clock). The edition is FOLDER's own path: "OEM/<EDITION>/<CHANNEL>/Software" (or SoftwareTest) when the
folder lies there, else its last component. --rollout offers the release to that share of PCs in a
script's run (0 halts it everywhere); without it, to every PC. --quiet-args names the arguments of the
setups' unattended install (e.g. "/S /norestart"), which a passive or quiet run of the program starts
them with; they go on a "#quiet-args" line after each file line, a comment to older copies of the
program. The signature is CMS over the exact bytes, SHA-256,
without signed attributes (a platform we run on does not compare their digest). Needs the openssl
command-line tool. As a module: publish(folder, cert, key, ...) returns the two paths written.
"""
import argparse
import datetime
import hashlib
import mmap
import os
import struct
import subprocess
import sys
import tempfile

HEADER = "QuorvelDownloader release 1"
STATEMENT = "release.txt"
SIGNATURE = "release.txt.p7s"
# The program's limits on what it reads (update/release/logic/ReleaseStatement.h).
MAX_STATEMENT_BYTES = 64 * 1024
MAX_FILES = 256
MAX_NAME_UNITS = 259
MAX_QUIET_ARG_UNITS = 1024
RT_VERSION = 16
FIXED_INFO_SIGNATURE = 0xFEEF04BD


class PublishError(Exception):
    pass


def _unpack(fmt, data, offset, what):
    if offset < 0 or offset + struct.calcsize(fmt) > len(data):
        raise PublishError("%s lies outside the file" % what)
    return struct.unpack_from(fmt, data, offset)


def _rva_to_offset(sections, rva, what):
    for virtual_address, virtual_size, raw_size, raw_offset in sections:
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            if rva - virtual_address >= raw_size:
                break
            return raw_offset + rva - virtual_address
    raise PublishError("%s (RVA 0x%x) is in no section's file data" % (what, rva))


def _first_entry(data, directory, wanted_id=None):
    """The OffsetToData of the first entry of a resource directory (or of the entry with that id)."""
    named, ids = _unpack("<HH", data, directory + 12, "a resource directory")
    for i in range(named + ids):
        name, target = _unpack("<II", data, directory + 16 + 8 * i, "a resource entry")
        if wanted_id is None or (not name & 0x80000000 and name == wanted_id):
            return target
    return None


def read_version(data):
    """The four numbers of the version resource of a PE file: its ProductVersion when non-zero, else
    its FileVersion. Raises PublishError when the file has none."""
    if data[:2] != b"MZ":
        raise PublishError("not a PE file (no MZ header)")
    (pe,) = _unpack("<I", data, 0x3C, "the PE header offset")
    if _unpack("<4s", data, pe, "the PE header")[0] != b"PE\0\0":
        raise PublishError("not a PE file (no PE signature)")
    section_count, optional_size = _unpack("<H12xH", data, pe + 6, "the file header")
    optional = pe + 24
    (magic,) = _unpack("<H", data, optional, "the optional header")
    if magic not in (0x10B, 0x20B):
        raise PublishError("unknown optional header 0x%x" % magic)
    count_at = optional + (92 if magic == 0x10B else 108)
    (directory_count,) = _unpack("<I", data, count_at, "the data directory count")
    if directory_count <= 2:
        raise PublishError("no version resource (no resource directory)")
    resource_rva, resource_size = _unpack("<II", data, count_at + 4 + 2 * 8, "the resource directory entry")
    if resource_rva == 0 or resource_size == 0:
        raise PublishError("no version resource (no resources)")
    sections = []  # (VirtualAddress, VirtualSize, SizeOfRawData, PointerToRawData)
    for i in range(section_count):
        vsize, va, raw_size, raw_offset = _unpack("<8xIIII", data, optional + optional_size + 40 * i, "a section")
        sections.append((va, vsize, raw_size, raw_offset))
    base = _rva_to_offset(sections, resource_rva, "the resource directory")

    # Type RT_VERSION, then its first name and its first language.
    target = _first_entry(data, base, RT_VERSION)
    for _ in ("name", "language"):
        if target is None or not target & 0x80000000:
            raise PublishError("no version resource")
        target = _first_entry(data, base + (target & 0x7FFFFFFF))
    if target is None or target & 0x80000000:
        raise PublishError("no version resource (malformed resource directory)")
    data_rva, data_size = _unpack("<II", data, base + target, "the version resource's data entry")
    at = _rva_to_offset(sections, data_rva, "the version resource")
    block = data[at:at + data_size]

    # VS_VERSIONINFO: wLength, wValueLength, wType, the key "VS_VERSION_INFO", padding to 32 bits,
    # then VS_FIXEDFILEINFO.
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    value_length = _unpack("<H", block, 2, "the version resource")[0]
    if block[6:6 + len(key)] != key:
        raise PublishError("no version resource (no VS_VERSION_INFO)")
    fixed = (6 + len(key) + 3) & ~3
    if value_length < 52:
        raise PublishError("the version resource has no fixed version information")
    signature, _, file_ms, file_ls, product_ms, product_ls = _unpack("<6I", block, fixed, "the fixed version")
    if signature != FIXED_INFO_SIGNATURE:
        raise PublishError("the version resource has no fixed version information (bad signature)")
    ms, ls = (product_ms, product_ls) if product_ms or product_ls else (file_ms, file_ls)
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def _check_name(name, what, max_units=None):
    """Refuses a name the program would refuse in the statement."""
    try:
        name.encode("utf-8")
    except UnicodeEncodeError:
        raise PublishError("%s %r is not valid UTF-8" % (what, name))
    for ch in name:
        cp = ord(ch)
        if cp < 0x20 or 0x7F <= cp <= 0x9F or cp in (0x200E, 0x200F) or 0x2028 <= cp <= 0x202E or \
                0x2066 <= cp <= 0x2069:
            raise PublishError("%s %r holds the control character U+%04X" % (what, name, cp))
    max_units = max_units or MAX_NAME_UNITS
    if not name or len(name.encode("utf-16-le")) // 2 > max_units:
        raise PublishError("%s %r is empty or longer than %d characters" % (what, name, max_units))


def edition_of(folder):
    """The edition's folder as the statement names it, from the folder's own path."""
    parts = [p for p in os.path.abspath(folder).split(os.sep) if p]
    if not parts:
        raise PublishError("%s names no edition's folder; give --edition" % folder)
    if parts[-1] in ("Software", "SoftwareTest") and len(parts) >= 4 and parts[-4] == "OEM":
        return "/".join(parts[-4:])
    return parts[-1]


def _previous_serial(folder):
    try:
        with open(os.path.join(folder, STATEMENT), "rb") as f:
            for line in f.read(MAX_STATEMENT_BYTES).decode("utf-8", "replace").splitlines():
                if line.startswith("serial ") and line[7:].isdigit():
                    return int(line[7:])
    except OSError:
        pass
    return None


def _setup_facts(path):
    """(size, SHA-256 hex, version) of a setup program, mapped rather than read: setups are large."""
    name = os.path.basename(path)
    with open(path, "rb") as f:
        size = os.fstat(f.fileno()).st_size
        if size == 0:
            raise PublishError("%s is empty" % name)
        with mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
            try:
                version = read_version(data)
            except PublishError as e:
                raise PublishError("%s: %s; every setup program needs a version resource" % (name, e))
            return size, hashlib.sha256(data).hexdigest(), version


def _utc_time(text):
    try:
        return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
    except ValueError:
        raise argparse.ArgumentTypeError("not a UTC time like 2027-03-08T13:22:00Z: %r" % text)


def _time_text(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def rollout_line(percent):
    """The statement's rollout line for a percentage of PCs."""
    if not 0 <= percent <= 100:
        raise PublishError("--rollout must be a percentage from 0 to 100")
    return "rollout %d" % percent


def statement_text(folder, days, serial, allow_downgrade, edition, now, rollout=None, quiet_args=None):
    names = sorted(e.name for e in os.scandir(folder) if e.name.endswith(".exe") and e.is_file(follow_symlinks=False))
    if not names:
        raise PublishError("%s holds no setup program (*.exe)" % folder)
    if len(names) > MAX_FILES:
        raise PublishError("%s holds %d setup programs; a statement names at most %d" % (folder, len(names), MAX_FILES))
    _check_name(edition, "the edition")
    if quiet_args is not None:
        _check_name(quiet_args, "the quiet arguments", MAX_QUIET_ARG_UNITS)
    lines = [HEADER, "edition " + edition, "serial %d" % serial,
             "expires " + _time_text(now + datetime.timedelta(days=days)), "#signed " + _time_text(now)]
    if allow_downgrade:
        lines.append("downgrade allowed")
    if rollout is not None:
        lines.append(rollout_line(rollout))
    for name in names:
        _check_name(name, "the setup program")
        size, digest, version = _setup_facts(os.path.join(folder, name))
        lines.append("file %d %s %s %s" % (size, digest, ".".join(str(p) for p in version), name))
        if quiet_args:
            lines.append("#quiet-args " + quiet_args)
    text = ("\n".join(lines) + "\n").encode("utf-8")
    if len(text) > MAX_STATEMENT_BYTES:
        raise PublishError("the statement would be %d bytes; the program reads at most %d" %
                           (len(text), MAX_STATEMENT_BYTES))
    return text


def _temp_in(folder, suffix):
    """An empty temporary file beside the final one, readable as a plain new file would be (the
    server hands it out), where mkstemp would leave it to its owner alone."""
    fd, path = tempfile.mkstemp(dir=folder, prefix="." + suffix + ".", suffix=".tmp")
    os.close(fd)
    umask = os.umask(0)
    os.umask(umask)
    os.chmod(path, 0o666 & ~umask)
    return path


def publish(folder, cert, key, days=90, serial=None, allow_downgrade=False, edition=None, now=None, rollout=None, quiet_args=None):
    """Writes FOLDER/release.txt and FOLDER/release.txt.p7s; returns their paths. `now` is a UTC
    datetime or seconds since 1970 (the clock by default)."""
    if now is None:
        now = datetime.datetime.now(datetime.timezone.utc)
    elif isinstance(now, (int, float)):
        now = datetime.datetime.fromtimestamp(now, datetime.timezone.utc)
    now = now.replace(microsecond=0)
    if days < 1:
        raise PublishError("--days must be at least 1")
    if serial is None:
        serial = int(now.strftime("%Y%m%d%H%M%S"))
    if not 0 <= serial < 2 ** 64:
        raise PublishError("the serial must be a number from 0 to 18446744073709551615")
    # The program refuses a serial lower than one it has accepted: a lower one would stop every update.
    previous = _previous_serial(folder)
    if previous is not None and serial < previous:
        raise PublishError("serial %d is lower than %d of the statement already in %s" % (serial, previous, folder))
    text = statement_text(folder, days, serial, allow_downgrade, edition or edition_of(folder), now, rollout, quiet_args)

    statement, signature = os.path.join(folder, STATEMENT), os.path.join(folder, SIGNATURE)
    temp_statement, temp_signature = _temp_in(folder, STATEMENT), _temp_in(folder, SIGNATURE)
    try:
        with open(temp_statement, "wb") as f:
            f.write(text)
        signed = subprocess.run(["openssl", "cms", "-sign", "-binary", "-noattr", "-md", "sha256", "-outform", "DER",
                                 "-signer", cert, "-inkey", key, "-in", temp_statement, "-out", temp_signature],
                                capture_output=True, text=True, timeout=120)
        if signed.returncode != 0:
            raise PublishError("openssl cms -sign failed: " + signed.stderr.strip())
        os.replace(temp_statement, statement)
        os.replace(temp_signature, signature)
    finally:
        for path in (temp_statement, temp_signature):
            if os.path.exists(path):
                os.remove(path)
    return statement, signature


def main(argv=None):
    parser = argparse.ArgumentParser(description="Writes the signed release statement of an edition's folder.")
    parser.add_argument("folder")
    parser.add_argument("--cert", required=True, help="the signer's certificate (PEM)")
    parser.add_argument("--key", required=True, help="the signer's private key (PEM)")
    parser.add_argument("--days", type=int, default=90, help="days until the statement expires (90)")
    parser.add_argument("--serial", type=int, help="the serial number (the UTC clock as YYYYMMDDHHMMSS)")
    parser.add_argument("--allow-downgrade", action="store_true", help="let these setups replace a newer version")
    parser.add_argument("--edition", help="the edition's folder, e.g. OEM/KESTRA/Factory/Software")
    parser.add_argument("--rollout", type=int, metavar="PERCENT",
                        help="offer the release to this share of PCs in a script's run; 0 halts it (100)")
    parser.add_argument("--quiet-args", help="the setups' arguments for an unattended install, e.g. \"/S /norestart\"")
    parser.add_argument("--now", type=_utc_time, metavar="TIME",
                        help="publish as at this UTC time, e.g. 2027-03-08T13:22:00Z (the clock)")
    args = parser.parse_args(argv)
    try:
        paths = publish(args.folder, args.cert, args.key, args.days, args.serial, args.allow_downgrade, args.edition,
                        now=args.now, rollout=args.rollout, quiet_args=args.quiet_args)
    except (PublishError, OSError) as e:
        print("publish.py: error: %s" % e, file=sys.stderr)
        return 1
    with open(paths[0], "rb") as f:
        sys.stdout.write(f.read().decode("utf-8"))
    for path in paths:
        print("wrote %s (%d bytes)" % (path, os.path.getsize(path)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
