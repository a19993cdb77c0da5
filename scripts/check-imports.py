#!/usr/bin/env python3
"""Import audit of the shipped 32-bit program.

Reads the import table of each image itself and checks every imported
function, by DLL and name, against docs/target-imports.txt: the functions
that exist on both Windows 98 SE and Windows NT 4.0 SP6a. Also checks the
image's fields that the loaders of those systems look at: machine i386, the
subsystem, and subsystem and operating-system versions no higher than 4.0;
and that the image is stripped, as the shipped files are.

  check-imports.py [--list FILE] [--program EXE]... [--library DLL]...

A program must be a GUI executable, a library must be a DLL. Prints every
offending import and field; exits 0 when all is well, 1 on findings, 2 when a
file cannot be read as a PE image or the list is malformed.
"""

import argparse
import os
import struct
import sys

MACHINE_I386 = 0x014C
MAGIC_PE32 = 0x10B
MAGIC_PE32_PLUS = 0x20B
FILE_DLL = 0x2000
SUBSYSTEM_GUI = 2
SUBSYSTEM_CONSOLE = 3
DIRECTORY_IMPORT = 1
DIRECTORY_DELAY_IMPORT = 13
# The loaders of Windows 9x and NT 4 refuse images that ask for more.
HIGHEST_VERSION = (4, 0)
# Bounds against looping over garbage.
MAX_DESCRIPTORS = 4096
MAX_THUNKS = 65536
MAX_NAME = 4096

STATUSES = ("both", "stub9x", "bind")
DEFAULT_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs",
                            "target-imports.txt")


class PeError(Exception):
    """The file is not a well-formed PE image."""


class ListError(Exception):
    """The list of target functions is malformed."""


class Image:
    """The parts of a PE image that the audit needs."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise PeError("no DOS header (MZ)")
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if pe_offset + 24 > len(data):
            raise PeError(f"PE header offset {pe_offset:#x} lies beyond the file")
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        (self.machine, sections, _, self.symbol_table, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe_offset + 4)
        optional = pe_offset + 24
        if optional + optional_size > len(data) or optional_size < 2:
            raise PeError("optional header runs past the end of the file")
        (self.magic,) = struct.unpack_from("<H", data, optional)
        if self.magic == MAGIC_PE32:
            directories_at, count_at = 96, 92
        elif self.magic == MAGIC_PE32_PLUS:
            directories_at, count_at = 112, 108
        else:
            raise PeError(f"unknown optional header magic {self.magic:#x}")
        if optional_size < directories_at:
            raise PeError("optional header too short")
        (self.os_version_major, self.os_version_minor) = struct.unpack_from(
            "<HH", data, optional + 40)
        (self.subsystem_version_major, self.subsystem_version_minor) = struct.unpack_from(
            "<HH", data, optional + 48)
        (self.subsystem,) = struct.unpack_from("<H", data, optional + 68)
        (directory_count,) = struct.unpack_from("<I", data, optional + count_at)
        directory_count = min(directory_count, (optional_size - directories_at) // 8)
        self.directories = [
            struct.unpack_from("<II", data, optional + directories_at + 8 * i)
            for i in range(directory_count)
        ]
        table = optional + optional_size
        if table + 40 * sections > len(data):
            raise PeError("section table runs past the end of the file")
        self.sections = []
        self.section_names = []
        for i in range(sections):
            self.section_names.append(data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0"))
            (virtual_size, virtual_address, raw_size, raw_offset) = struct.unpack_from(
                "<IIII", data, table + 40 * i + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_offset,
                                  raw_size))

    @property
    def is_64_bit(self):
        return self.magic == MAGIC_PE32_PLUS

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset(self, rva, size):
        """File offset of SIZE bytes at RVA, all inside one section's raw data."""
        for virtual_address, virtual_size, raw_offset, raw_size in self.sections:
            if virtual_address <= rva < virtual_address + virtual_size:
                delta = rva - virtual_address
                if delta + size > raw_size or raw_offset + delta + size > len(self.data):
                    break
                return raw_offset + delta
        raise PeError(f"RVA {rva:#x} (+{size}) lies outside the file's sections")

    def read(self, fmt, rva):
        return struct.unpack_from(fmt, self.data, self.offset(rva, struct.calcsize(fmt)))

    def string(self, rva):
        start = self.offset(rva, 1)
        end = self.data.find(b"\0", start, start + MAX_NAME)
        if end < 0:
            raise PeError(f"unterminated name at RVA {rva:#x}")
        try:
            return self.data[start:end].decode("ascii")
        except UnicodeDecodeError:
            raise PeError(f"name at RVA {rva:#x} is not ASCII") from None

    def imports(self):
        """[(dll, name or None, ordinal or None)] of the import directory."""
        rva, size = self.directory(DIRECTORY_IMPORT)
        if rva == 0 or size == 0:
            return []
        result = []
        for index in range(MAX_DESCRIPTORS):
            (lookup, _, _, name_rva, address_table) = self.read("<IIIII", rva + 20 * index)
            if lookup == 0 and name_rva == 0 and address_table == 0:
                return result
            dll = self.string(name_rva)
            thunk_rva = lookup or address_table
            thunk_format, ordinal_flag = ("<Q", 1 << 63) if self.is_64_bit else ("<I", 1 << 31)
            thunk_size = struct.calcsize(thunk_format)
            for position in range(MAX_THUNKS):
                (thunk,) = self.read(thunk_format, thunk_rva + thunk_size * position)
                if thunk == 0:
                    break
                if thunk & ordinal_flag:
                    result.append((dll, None, thunk & 0xFFFF))
                else:
                    result.append((dll, self.string((thunk & 0x7FFFFFFF) + 2), None))
            else:
                raise PeError(f"import name table of {dll} has no end")
        raise PeError("import descriptor table has no end")


def load_list(path):
    """{(DLL in upper case, function): (status, note)} from the target list."""
    entries = {}
    with open(path, encoding="utf-8") as stream:
        for number, line in enumerate(stream, 1):
            if line.lstrip().startswith("#"):
                continue
            text, _, note = line.partition("--")
            fields = text.split()
            if not fields:
                continue
            if len(fields) < 3 or fields[2] not in STATUSES:
                raise ListError(f"{path}:{number}: expected 'DLL function status [sources]'")
            key = (fields[0].upper(), fields[1])
            if key in entries:
                raise ListError(f"{path}:{number}: {fields[0]} {fields[1]} listed twice")
            entries[key] = (fields[2], note.strip())
    return entries


def audit(data, entries, library):
    """The findings (texts) for one image's bytes; raises PeError."""
    image = Image(data)
    findings = []
    if image.machine != MACHINE_I386 or image.is_64_bit:
        findings.append(f"machine {image.machine:#06x} with magic {image.magic:#x}: "
                        "not a 32-bit i386 image")
    if library:
        if not image.characteristics & FILE_DLL:
            findings.append("not a DLL")
        if image.subsystem not in (SUBSYSTEM_GUI, SUBSYSTEM_CONSOLE):
            findings.append(f"subsystem {image.subsystem}: neither GUI nor console")
    else:
        if image.characteristics & FILE_DLL:
            findings.append("a DLL, not a program")
        if image.subsystem != SUBSYSTEM_GUI:
            findings.append(f"subsystem {image.subsystem}: not GUI (2)")
    for label, version in (
        ("subsystem version", (image.subsystem_version_major, image.subsystem_version_minor)),
        ("operating system version", (image.os_version_major, image.os_version_minor)),
    ):
        if version > HIGHEST_VERSION:
            findings.append(f"{label} {version[0]}.{version[1]}: the Windows 9x and NT 4 "
                            "loaders accept at most 4.0")
    # Long section names ("/4") are the debug sections of the GNU tools.
    if image.symbol_table or any(
            name.startswith((b".debug", b"/")) for name in image.section_names):
        findings.append("symbol table or debug sections: not a stripped build")
    if image.directory(DIRECTORY_DELAY_IMPORT)[0]:
        findings.append("delay-load imports: bind optional functions by name instead")
    known_dlls = {dll for dll, _ in entries}
    for dll, name, ordinal in image.imports():
        where = f"{dll}!{name if name is not None else f'#{ordinal}'}"
        if dll.upper() not in known_dlls:
            findings.append(f"{where}: {dll} is not a system DLL of the list")
        elif name is None:
            findings.append(f"{where}: imported by ordinal")
        elif (dll.upper(), name) not in entries:
            findings.append(f"{where}: not in the list of functions of Windows 98 and NT 4")
        else:
            status, note = entries[(dll.upper(), name)]
            if status == "bind":
                findings.append(f"{where}: missing on a target ({note}): bind it at run time")
    return findings


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", default=DEFAULT_LIST, help="list of target functions")
    parser.add_argument("--program", action="append", default=[], help="a GUI executable")
    parser.add_argument("--library", action="append", default=[], help="a DLL")
    arguments = parser.parse_args(argv)
    if not arguments.program and not arguments.library:
        parser.error("name at least one --program or --library")
    try:
        entries = load_list(arguments.list)
    except (OSError, ListError) as error:
        print(f"check-imports: {error}")
        return 2
    status = 0
    for path, library in ([(p, False) for p in arguments.program] +
                          [(p, True) for p in arguments.library]):
        try:
            with open(path, "rb") as stream:
                findings = audit(stream.read(), entries, library)
        except OSError as error:
            print(f"{path}: cannot read: {error.strerror}")
            status = 2
            continue
        except PeError as error:
            print(f"{path}: malformed PE image: {error}")
            status = 2
            continue
        for finding in findings:
            print(f"{path}: {finding}")
        if findings and status == 0:
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
