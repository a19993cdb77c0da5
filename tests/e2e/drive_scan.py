#!/usr/bin/env python3
"""The host side of the drive scan runs (drive_scan.sh).

  drive_scan.py clean DIR EXPECTED.json     copy Wine's Windows libraries into
                                            DIR (empty or new)
  drive_scan.py hostile DIR EXPECTED.json   make the malformed files in DIR
  drive_scan.py manifest DIR OUT            every entry of DIR with its type,
                                            size, time and SHA-256
  drive_scan.py check KIND ...              judge a run, write a GoogleTest
                                            report (see check --help)

EXPECTED.json holds the counts the program's report must give for the drive
(scanned files and directories) and the number of files made.
"""
import argparse
import glob
import hashlib
import json
import os
import shutil
import struct
import sys
import xml.etree.ElementTree as ET
from dataclasses import dataclass

DRIVE = "S:"
# Files whose listed size (its low 32 bits) is at most this are not opened.
MINIMUM_SIZE = 312
# The longest path (without its terminating zero) that the scanner opens, and
# so the longest folder whose "\*.*" pattern it lists.
MAX_PATH = 259
LISTING_SUFFIX = "\\*.*"


def windows_path(relative):
    """The program's path of a file or folder of the drive ('' is its root)."""
    return DRIVE + "\\" + relative.replace("/", "\\")


@dataclass
class Expected:
    """What the program's report must count for a drive: the scanner counts a
    file when its folder is listed, its path fits a path buffer and its listed
    size is over MINIMUM_SIZE, and a folder when its pattern fits and it is
    listed (the root included)."""

    files: int = 0
    scanned_files: int = 0
    scanned_directories: int = 1

    def folder(self, relative, listed=True):
        walked = listed and len(windows_path(relative) + LISTING_SUFFIX) <= MAX_PATH
        if walked:
            self.scanned_directories += 1
        return walked

    def file(self, relative, size, listed=True):
        self.files += 1
        fits = len(windows_path(relative)) <= MAX_PATH
        if listed and fits and (size & 0xFFFFFFFF) > MINIMUM_SIZE:
            self.scanned_files += 1

    def save(self, path):
        with open(path, "w") as out:
            json.dump(
                {
                    "files": self.files,
                    "scanned_files": self.scanned_files,
                    "scanned_directories": self.scanned_directories,
                },
                out,
            )


# --- The clean drive: a copy of Wine's own Windows libraries ---


def wine_windows_folders():
    patterns = ("/usr/lib/wine/*-windows", "/usr/lib/*/wine/*-windows")
    found = (path for pattern in patterns for path in glob.glob(pattern))
    return sorted(path for path in found if os.path.isdir(path))


def copy_name(source):
    """usr_lib_x86_64-linux-gnu_wine_i386-windows for that folder."""
    return source.strip("/").replace("/", "_")


def make_clean(root, expected_path):
    sources = wine_windows_folders()
    if not sources:
        sys.exit("drive_scan: no Windows folders of Wine under /usr/lib")
    os.makedirs(root, exist_ok=True)
    expected = Expected()
    for source in sources:
        # Each copy is named by its whole source path: with 32-bit Wine
        # installed beside 64-bit Wine, both library folders hold an
        # i386-windows and an x86_64-windows folder. Links are copied as the
        # files they name: the drive holds no link.
        shutil.copytree(source, os.path.join(root, copy_name(source)), symlinks=False)
    for folder, folders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        for name in folders:
            expected.folder(os.path.normpath(os.path.join(relative, name)))
        for name in files:
            path = os.path.join(folder, name)
            expected.file(os.path.normpath(os.path.join(relative, name)), os.path.getsize(path))
    expected.save(expected_path)
    print(f"drive_scan: copied {', '.join(sources)}: {expected.files} files")


# --- The hostile drive: malformed executables, odd folders and long paths ---


def pe(
    sections=((0x1000, 0x200, 0x200, 0x200),),
    count=None,
    lfanew=0x80,
    optional_size=224,
    entry=0x1000,
    size=None,
    pe32_plus=False,
):
    """A PE file: sections as (virtual address, virtual size, raw size, raw
    pointer); `count` overrides the header's section count, `size` cuts or
    pads the file (else it ends after the last section's data, unless that
    lies beyond 1 MB)."""
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 60, lfanew)
    file_header = struct.pack(
        "<HHIIIHH",
        0x8664 if pe32_plus else 0x14C,
        len(sections) if count is None else count,
        0,
        0,
        0,
        optional_size,
        0x0102,
    )
    optional = bytearray(max(optional_size, 0))
    if len(optional) >= 20:
        struct.pack_into("<H", optional, 0, 0x20B if pe32_plus else 0x10B)
        struct.pack_into("<I", optional, 16, entry)
    table = b"".join(
        struct.pack("<8sIIIIIIHHI", b".s%d" % i, vsize, va, raw, pointer, 0, 0, 0, 0, 0x60000020)
        for i, (va, vsize, raw, pointer) in enumerate(sections)
    )
    data = bytearray(dos)
    if lfanew < 0x1000000:
        data.extend(bytes(max(0, lfanew - len(data))))
        data[lfanew:] = b"PE\0\0" + file_header + bytes(optional) + table
    for _, _, raw, pointer in sections:
        if pointer + raw <= 0x100000 and pointer + raw > len(data):
            data.extend(bytes(pointer + raw - len(data)))
    if size is not None:
        data = data[:size] + bytes(max(0, size - len(data)))
    return bytes(data)


def hostile_cases():
    """(name, bytes) of the malformed files in the drive's root."""
    many = [(0x1000 * (i + 1), 0x200, 0x200, 0x400) for i in range(65535)]
    all_ones = 0xFFFFFFFF
    return [
        ("empty.exe", b""),
        ("mark-only.exe", b"MZ"),
        ("at-the-minimum.exe", pe(size=MINIMUM_SIZE)),
        ("one-over-the-minimum.exe", pe(size=MINIMUM_SIZE + 1)),
        ("mark-and-zeros.exe", b"MZ" + bytes(1000)),
        ("not-an-executable.txt", b"plain text, no marks at all\r\n" * 40),
        ("reversed-mark.exe", b"ZM" + pe()[2:]),
        ("pe-offset-past-the-end.exe", pe(lfanew=0x7FFFFFF0, size=1024)),
        ("pe-offset-all-ones.exe", pe(lfanew=0xFFFFFFFF, size=1024)),
        ("pe-headers-cut-short.exe", pe(lfanew=0x130, size=0x140)),
        ("no-sections.exe", pe(sections=())),
        ("section-count-without-table.exe", pe(count=65535, size=2048)),
        # 65,535 sections, all there, each with 512 bytes of data.
        ("huge-section-table.exe", pe(sections=many)),
        ("optional-header-of-65535-bytes.exe", pe(optional_size=0xFFFF, size=4096)),
        # The table starts at 0x178; the file ends 100 bytes into it.
        ("table-past-the-end.exe", pe(sections=[(0x1000, 0x200, 0x200, 0x400)] * 8, size=0x1DC)),
        ("section-past-the-end.exe", pe(sections=[(0x1000, 0x1000, 0x1000, 1 << 28)], size=2048)),
        ("section-of-4-gb.exe", pe(sections=[(0x1000, all_ones, all_ones, 0x200)], size=1 << 14)),
        (
            "section-at-the-top.exe",
            pe(
                sections=[(0xFFFFF000, 0xFFFFFFFF, 0xFFFFF000, 0xFFFFF000)],
                entry=0xFFFFF800,
                size=2048,
            ),
        ),
        (
            "overlapping-sections.exe",
            pe(
                sections=[
                    (0x1000, 0x20000, 0xC000, 0x0),
                    (0x1000, 0x800, 0x800, 0x100),
                    (0x800, 0x10000, 0xB000, 0x200),
                ],
                size=0xC000,
            ),
        ),
        ("entry-point-outside.exe", pe(entry=0xFFFFFFFF)),
        (
            "entry-point-in-a-section-past-the-end.exe",
            pe(sections=[(0x1000, 0x100000, 0, 0x7FFFFFFF)], entry=0x80000),
        ),
        ("pe32-plus.exe", pe(pe32_plus=True, optional_size=240)),
        ("optional-header-of-0-bytes.exe", pe(optional_size=0)),
        # Hidden on Windows (a leading dot), listed all the same.
        (".hidden.exe", pe()),
        # A name Windows cannot show (the colon): Wine lists it by a short
        # name of its own.
        ("colon:in-the-name.exe", pe()),
    ]


def make_hostile(root, expected_path):
    os.makedirs(root, exist_ok=True)
    expected = Expected()

    def write(relative, data, listed=True):
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        expected.file(relative, len(data), listed)

    for name, data in hostile_cases():
        write(name, data)

    # A folder that looks like an executable, and an empty one.
    os.makedirs(os.path.join(root, "folder.exe"))
    expected.folder("folder.exe")
    write("folder.exe/inside.exe", pe())
    os.makedirs(os.path.join(root, "empty"))
    expected.folder("empty")

    # A folder of 3,000 entries: every other one too short to be opened.
    expected.folder("many")
    small = pe(size=100)
    big = pe(size=400)
    for i in range(3000):
        write(f"many/{i:05d}.exe", big if i % 2 else small)

    # Paths at the limit: a chain of folders whose deepest one has a pattern
    # of exactly MAX_PATH characters, holding files whose paths have 259 and
    # 260 characters, and a folder one character longer, which is not
    # listed.
    chain = ["d" * 100, "e" * 100]
    chain.append("f" * (MAX_PATH - len(windows_path("/".join(chain) + "/") + LISTING_SUFFIX)))
    deep = ""
    for part in chain:
        deep = f"{deep}/{part}" if deep else part
        assert expected.folder(deep)
    assert len(windows_path(deep) + LISTING_SUFFIX) == MAX_PATH
    name = "x" * (MAX_PATH - len(windows_path(deep + "/")))
    assert len(windows_path(f"{deep}/{name}")) == MAX_PATH
    write(f"{deep}/{name}", pe())
    assert len(windows_path(f"{deep}/{name}y")) == MAX_PATH + 1
    write(f"{deep}/{name}y", pe())
    deeper = chain[0] + "/" + chain[1] + "/" + chain[2] + "g"
    assert not expected.folder(deeper)
    write(f"{deeper}/a.exe", pe(), listed=False)

    expected.save(expected_path)
    print(f"drive_scan: made {expected.files} files, {expected.scanned_files} to be counted")


# --- Manifest ---


def manifest(root, out_path):
    """Every entry under ROOT, sorted: type, size, modification time (ns),
    SHA-256 of the data, relative path."""
    lines = []
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            relative = os.path.relpath(path, root)
            if os.path.islink(path):
                lines.append(f"link - - {os.readlink(path)} {relative}")
            elif os.path.isdir(path):
                lines.append(f"dir - {info.st_mtime_ns} - {relative}")
            else:
                digest = hashlib.sha256()
                with open(path, "rb") as data:
                    for block in iter(lambda: data.read(1 << 20), b""):
                        digest.update(block)
                sums = f"{info.st_size} {info.st_mtime_ns} {digest.hexdigest()}"
                lines.append(f"file {sums} {relative}")
    lines.sort()
    with open(out_path, "w") as out:
        out.write("\n".join(lines) + "\n")


# --- Check ---


def report_counts(log):
    """The numbers of the report's lines ("scanned files:" ...) by label."""
    counts = {}
    for line in log.splitlines():
        label, colon, rest = line.partition(":")
        value = rest.split()[0] if rest.split() else ""
        if colon and label and value.replace(".", "", 1).isdigit():
            counts[label.strip()] = float(value) if "." in value else int(value)
    return counts


def check(args):
    expected = json.load(open(args.expected))
    try:
        with open(args.log, "rb") as data:
            raw = data.read()
        log = raw.decode("utf-16-le").lstrip("\ufeff")
    except (OSError, UnicodeDecodeError) as error:
        log = ""
        print(f"drive_scan: no log: {error}")
    counts = report_counts(log)
    suite = args.suite
    cases = []

    def case(name, failures):
        cases.append((name, failures))
        for failure in failures:
            print(f"drive_scan: FAILED {suite}.{name}: {failure}")

    # The run ended by itself with "nothing found", scanned S: alone and
    # neither found nor removed anything.
    failures = []
    if args.status != 0:
        failures.append(f"exit status {args.status}, expected 0")
    for text in (
        "Scanning drive S: ...",
        "No malware found in memory",
        "No malware found on hard drives",
        "Thank you for using",
    ):
        if text not in log:
            failures.append(f'the log lacks "{text}"')
    if log.count("Scanning drive ") != 1:
        failures.append(f'{log.count("Scanning drive ")} drives scanned, expected S: alone')
    for label in (
        "infected files",
        "infected processes",
        "repaired/removed files",
        "terminated processes",
    ):
        if counts.get(label) != 0:
            failures.append(f"{label}: {counts.get(label)}, expected 0")
    case("EndsByItselfWithNothingFoundAndStatus0", failures)

    failures = []
    for label, key in (
        ("scanned files", "scanned_files"),
        ("scanned directories", "scanned_directories"),
    ):
        if counts.get(label) != expected[key]:
            failures.append(f"{label}: {counts.get(label)}, expected {expected[key]}")
    if counts.get("scanned streams") != 0:
        failures.append(f"scanned streams: {counts.get('scanned streams')}, expected 0")
    case("CountsEveryFileAndFolderOfTheDrive", failures)

    failures = []
    before = open(args.before).read().splitlines()
    after = open(args.after).read().splitlines()
    if before != after:
        gone = sorted(set(before) - set(after))
        new = sorted(set(after) - set(before))
        failures.append(
            f"the drive changed: {len(gone)} entries gone or changed, {len(new)} new or changed"
            + "".join(f"\n  - {line}" for line in gone[:10])
            + "".join(f"\n  + {line}" for line in new[:10])
        )
    case("LeavesEveryFileOfTheDriveAsItWas", failures)

    print(
        f"drive_scan: {suite}: {expected['files']} files on S:, report: "
        f"{counts.get('scanned files')} files and {counts.get('scanned directories')} "
        f"directories scanned, {counts.get('infected files')} infected, "
        f"{counts.get('scanned processes')} processes and {counts.get('scanned modules')} "
        f"modules scanned, file scan {counts.get('elapsed time for file scan')} s; "
        f"the whole run {args.seconds:.1f} s, exit status {args.status}"
    )
    write_report(args.xml, suite, cases, args.seconds)
    if any(failures for _, failures in cases):
        print("drive_scan: the log:\n" + log.replace("\r\n", "\n"))
        return 1
    return 0


def write_report(path, suite, cases, seconds):
    """A GoogleTest XML report of CASES, (name, failures)."""
    failed = sum(1 for _, failures in cases if failures)
    attributes = {
        "tests": str(len(cases)),
        "failures": str(failed),
        "disabled": "0",
        "errors": "0",
        "time": f"{seconds:.3f}",
    }
    root = ET.Element("testsuites", dict(attributes, name="AllTests"))
    element = ET.SubElement(root, "testsuite", dict(attributes, name=suite))
    for name, failures in cases:
        test = ET.SubElement(
            element,
            "testcase",
            {"name": name, "status": "run", "result": "completed", "time": "0", "classname": suite},
        )
        for failure in failures:
            ET.SubElement(test, "failure", {"message": failure, "type": ""}).text = failure
    ET.ElementTree(root).write(path, encoding="UTF-8", xml_declaration=True)


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawTextHelpFormatter
    )
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("clean", "hostile"):
        command = commands.add_parser(name)
        command.add_argument("dir")
        command.add_argument("expected")
    command = commands.add_parser("manifest")
    command.add_argument("dir")
    command.add_argument("out")
    command = commands.add_parser("check")
    command.add_argument("suite", help="the report's suite name")
    command.add_argument("--expected", required=True)
    command.add_argument("--log", required=True, help="the program's log (UTF-16LE)")
    command.add_argument("--status", type=int, required=True, help="the program's exit status")
    command.add_argument("--seconds", type=float, required=True, help="the run's wall time")
    command.add_argument("--before", required=True, help="the drive's manifest before the run")
    command.add_argument("--after", required=True, help="and after it")
    command.add_argument("--xml", required=True, help="the GoogleTest report to write")
    args = parser.parse_args()
    if args.command == "clean":
        make_clean(args.dir, args.expected)
    elif args.command == "hostile":
        make_hostile(args.dir, args.expected)
    elif args.command == "manifest":
        manifest(args.dir, args.out)
    else:
        return check(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
