#!/usr/bin/env python3
"""Signatures and result checks of the file scan benchmark (file-scan-bench.sh).

  file_scan_bench.py make FILES OUT --real N --random M [--seed S]
      Takes N FILE signatures of 64 bytes from the sections of the PE files
      under FILES, where the file scanner reads (inside the first and the
      last 20480 bytes of a section; a section of at most 40960 bytes is read
      whole), and adds M random ones. Writes the same signatures four ways:
        OUT.txt   description script (UTF-16LE, byte-order mark, CR LF)
        OUT.ndb   body signatures for clamscan (target type 1, any offset)
        OUT.yar   one yara rule per signature, its one hex string
        OUT.json  every signature with its name and, for a real one, the
                  file and offset it was taken from

  file_scan_bench.py compare FILES OUT.json --ours F --yara F [--clamscan F]
      Compares the sets of files that the tools reported and checks them
      against what the file scanner reaches: a file from which a signature
      was taken, or in which yara (its output with -s) or clamscan found one
      lying wholly inside a region the scanner reads, must be in our set; our
      set must hold no file that neither other tool reports. Prints PASS or
      FAIL and exits 0 or 1.

The scanner's reading rules, as mirrored here: a file whose size is at most
312 bytes is not opened; a PE file ("MZ", "PE\\0\\0" at e_lfanew, 248 bytes of
PE headers there, at least one section, the section table inside the file)
has each section with raw data read as one region (whole up to 40960 bytes,
else its first and last 20480 bytes, as far as the file goes), and when no
section matched, 4096 bytes at the entry point.
"""
import argparse
import json
import os
import random
import struct
import sys

SIGNATURE_LENGTH = 64
# A taken run must hold at least this many different byte values: runs of
# padding or fill are no signatures.
MIN_DISTINCT_BYTES = 8
MIN_FILE_SIZE = 312
WHOLE_REGION_LIMIT = 40960
PIECE_SIZE = 20480
ENTRY_POINT_WINDOW = 4096
PE_HEADERS_SIZE = 248


class PeLayout:
    """The pieces of a file that the scanner reads, or none for a file it only opens."""

    def __init__(self, path):
        self.section_pieces = []  # (start, end) with end clipped to the file
        self.entry_window = None
        size = os.path.getsize(path)
        self.size = size
        if size & 0xFFFFFFFF <= MIN_FILE_SIZE:
            return
        with open(path, "rb") as f:
            dos = f.read(64)
            if len(dos) < 64 or dos[:2] != b"MZ":
                return
            pe_offset = struct.unpack_from("<I", dos, 60)[0]
            f.seek(pe_offset)
            pe = f.read(PE_HEADERS_SIZE)
            if len(pe) < PE_HEADERS_SIZE or pe[:4] != b"PE\0\0":
                return
            count = struct.unpack_from("<H", pe, 6)[0]
            optional_size = struct.unpack_from("<H", pe, 20)[0]
            entry_point = struct.unpack_from("<I", pe, 40)[0]
            table_offset = pe_offset + 24 + optional_size
            if count == 0 or table_offset > size or count * 40 > size - table_offset:
                return
            f.seek(table_offset)
            table = f.read(count * 40)
        sections = [struct.unpack_from("<8sIIII", table, 40 * i) for i in range(count)]
        for _, _, _, raw_size, raw_start in sections:
            if raw_size == 0:
                continue
            if raw_size <= WHOLE_REGION_LIMIT:
                pieces = [(raw_start, raw_size)]
            else:
                pieces = [(raw_start, PIECE_SIZE), (raw_start + raw_size - PIECE_SIZE, PIECE_SIZE)]
            for start, length in pieces:
                end = min(start + length, size)
                if end > start:
                    self.section_pieces.append((start, end))
        entry_offset = 0
        for _, virtual_size, virtual_address, raw_size, raw_start in sections:
            if entry_point < virtual_address:
                continue
            if (entry_point < virtual_address + virtual_size
                    or entry_point < virtual_address + raw_size):
                entry_offset = raw_start + (entry_point - virtual_address)
                break
        end = min(entry_offset + ENTRY_POINT_WINDOW, size)
        if end > entry_offset:
            self.entry_window = (entry_offset, end)

    def in_sections(self, offset, length=SIGNATURE_LENGTH):
        return any(start <= offset and offset + length <= end
                   for start, end in self.section_pieces)

    def in_entry_window(self, offset, length=SIGNATURE_LENGTH):
        return (self.entry_window is not None and self.entry_window[0] <= offset
                and offset + length <= self.entry_window[1])


def list_files(root):
    result = []
    for directory, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(directory, name)
            if os.path.isfile(path) and not os.path.islink(path):
                result.append(os.path.relpath(path, root))
    return result


def make(args):
    rng = random.Random(args.seed)
    layouts = {}
    for relative in list_files(args.files):
        layout = PeLayout(os.path.join(args.files, relative))
        if layout.section_pieces:
            layouts[relative] = layout
    candidates = sorted(layouts)
    signatures = []
    seen = set()
    attempts = 0
    while sum(1 for s in signatures if "file" in s) < args.real:
        attempts += 1
        if attempts > 1000 * max(args.real, 1):
            sys.exit(f"could not find {args.real} distinct signatures")
        relative = rng.choice(candidates)
        layout = layouts[relative]
        start, end = rng.choice(layout.section_pieces)
        if end - start < SIGNATURE_LENGTH:
            continue
        offset = rng.randrange(start, end - SIGNATURE_LENGTH + 1)
        with open(os.path.join(args.files, relative), "rb") as f:
            f.seek(offset)
            run = f.read(SIGNATURE_LENGTH)
        if len(set(run)) < MIN_DISTINCT_BYTES or run in seen:
            continue
        seen.add(run)
        signatures.append({"name": f"Real.{len(signatures) + 1:06d}", "hex": run.hex().upper(),
                           "file": relative, "offset": offset})
    for number in range(1, args.random + 1):
        run = rng.randbytes(SIGNATURE_LENGTH)
        if run in seen:
            continue
        seen.add(run)
        signatures.append({"name": f"Random.{number:06d}", "hex": run.hex().upper()})

    lines = []
    for signature in signatures:
        # A block may not end at the end of the text right after its one
        # signature line: each gets the action that real blocks start with.
        lines += [f"[Malware Bench/{signature['name']}]", "SIGNATURE_FILE " + signature["hex"],
                  "REMOVE_FILE %infected_file%", ""]
    text = "".join(line + "\r\n" for line in lines)
    with open(args.out + ".txt", "wb") as f:
        f.write("\ufeff".encode("utf-16-le") + text.encode("utf-16-le"))
    with open(args.out + ".ndb", "w") as f:
        for signature in signatures:
            f.write(f"Bench.{signature['name']}:1:*:{signature['hex'].lower()}\n")
    with open(args.out + ".yar", "w") as f:
        for signature in signatures:
            spaced = " ".join(signature["hex"][i:i + 2] for i in range(0, len(signature["hex"]), 2))
            rule = signature["name"].replace(".", "_")
            f.write(f"rule {rule} {{\n  strings:\n    $s = {{ {spaced} }}\n"
                    f"  condition:\n    $s\n}}\n")
    with open(args.out + ".json", "w") as f:
        json.dump({"files": len(layouts), "signatures": signatures}, f)
    taken = {s["file"] for s in signatures if "file" in s}
    print(f"signatures: {len(signatures)} ({args.real} from sections of {len(taken)} of "
          f"{len(layouts)} PE files, {len(signatures) - args.real} random)")


def read_ours(path):
    """Our output's found: lines as paths relative to the scanned drive's root."""
    found = set()
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("found: "):
                windows = line[len("found: "):].rstrip("\r\n")
                found.add(windows.split(":", 1)[1].lstrip("\\").replace("\\", "/"))
    return found


def read_yara(path, files_root):
    """Yara's output with -s: the files, and the offsets of the matches in each."""
    found = set()
    offsets = {}
    current = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("0x") and current is not None:
                offsets[current].add(int(line.split(":", 1)[0], 16))
            elif " " in line:
                current = os.path.relpath(line.split(" ", 1)[1], files_root)
                found.add(current)
                offsets.setdefault(current, set())
    return found, offsets


def read_clamscan(path, files_root):
    found = set()
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.endswith(" FOUND") and ": Bench." in line:
                found.add(os.path.relpath(line.rsplit(": ", 1)[0], files_root))
    return found


def find_offsets(path, signatures):
    """Every offset in the file at which one of the signatures starts."""
    with open(path, "rb") as f:
        data = f.read()
    offsets = set()
    for signature in signatures:
        at = data.find(signature)
        while at >= 0:
            offsets.add(at)
            at = data.find(signature, at + 1)
    return offsets


def show(title, paths, limit=20):
    print(f"  {title}: {len(paths)}")
    for path in sorted(paths)[:limit]:
        print(f"    {path}")
    if len(paths) > limit:
        print(f"    ... and {len(paths) - limit} more")


def compare(args):
    with open(args.meta) as f:
        meta = json.load(f)
    signatures = meta["signatures"]
    ours = read_ours(args.ours)
    yara, yara_offsets = read_yara(args.yara, args.files)
    clamscan = read_clamscan(args.clamscan, args.files) if args.clamscan else None

    layouts = {}

    def layout(relative):
        if relative not in layouts:
            layouts[relative] = PeLayout(os.path.join(args.files, relative))
        return layouts[relative]

    # Where the scanner must find something: the places signatures were
    # taken from, and the others' matches inside the regions it reads.
    must = {s["file"] for s in signatures if "file" in s and layout(s["file"]).in_sections(s["offset"])}
    may = set(must)
    for relative, offsets in yara_offsets.items():
        if any(layout(relative).in_sections(o) for o in offsets):
            must.add(relative)
        if any(layout(relative).in_entry_window(o) for o in offsets):
            may.add(relative)
    if clamscan is not None:
        raw = [bytes.fromhex(s["hex"]) for s in signatures]
        for relative in clamscan - yara:
            offsets = find_offsets(os.path.join(args.files, relative), raw)
            if any(layout(relative).in_sections(o) for o in offsets):
                must.add(relative)
            if any(layout(relative).in_entry_window(o) for o in offsets):
                may.add(relative)
    others = yara | (clamscan if clamscan is not None else set())

    print(f"files reported: ours {len(ours)}, yara {len(yara)}"
          + (f", clamscan {len(clamscan)}" if clamscan is not None else ""))
    print(f"files where the scanner's regions hold a signature: {len(must)}"
          f" (with the entry point windows: {len(may | must)})")
    show("yara only (not ours)", yara - ours)
    show("ours only (not yara)", ours - yara)
    if clamscan is not None:
        show("clamscan only (not ours)", clamscan - ours)
        show("ours only (not clamscan)", ours - clamscan)
        show("yara, not clamscan", yara - clamscan)
        show("clamscan, not yara", clamscan - yara)
    missed = must - ours
    unconfirmed = ours - others
    show("reachable but not ours (must be 0)", missed)
    show("ours but no other tool's (must be 0)", unconfirmed)
    # What ours holds beyond the section regions is explained by the entry
    # point window, where the scanner also looks.
    unexplained = ours - must - may
    show("ours outside the regions read (must be 0)", unexplained)
    ok = not missed and not unconfirmed and not unexplained
    print("set check: " + ("PASS" if ok else "FAIL"))
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    making = commands.add_parser("make")
    making.add_argument("files")
    making.add_argument("out")
    making.add_argument("--real", type=int, required=True)
    making.add_argument("--random", type=int, required=True)
    making.add_argument("--seed", type=int, default=1)
    comparing = commands.add_parser("compare")
    comparing.add_argument("files")
    comparing.add_argument("meta")
    comparing.add_argument("--ours", required=True)
    comparing.add_argument("--yara", required=True)
    comparing.add_argument("--clamscan")
    args = parser.parse_args()
    if args.command == "make":
        make(args)
        return 0
    return compare(args)


if __name__ == "__main__":
    sys.exit(main())
