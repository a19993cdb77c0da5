#!/usr/bin/env python3
"""Tests of scripts/check-imports.py over small PE images forged here."""

import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "check-imports.py")
_spec = importlib.util.spec_from_file_location("check_imports", SCRIPT)
check_imports = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_imports)

SECTION_RVA = 0x1000
SECTION_OFFSET = 0x200


def forge_pe(imports=(("KERNEL32.dll", ("CloseHandle",)),), machine=0x014C, plus=False,
             subsystem=2, os_version=(4, 0), subsystem_version=(4, 0), characteristics=0x0102,
             delay_import=False):
    """A PE image with one section that holds the import directory.

    imports: (dll, (name or ordinal number, ...)) pairs.
    """
    thunk_size = 8 if plus else 4
    ordinal_flag = 1 << 63 if plus else 1 << 31
    section = bytearray()
    descriptors_size = 20 * (len(imports) + 1)
    tables_size = sum(thunk_size * (len(functions) + 1) for _, functions in imports)
    section += bytes(descriptors_size + tables_size)
    table_at = descriptors_size

    def put(blob):
        rva = SECTION_RVA + len(section)
        section.extend(blob)
        return rva

    for index, (dll, functions) in enumerate(imports):
        table_rva = SECTION_RVA + table_at
        for position, function in enumerate(functions):
            if isinstance(function, int):
                thunk = ordinal_flag | function
            else:
                thunk = put(b"\0\0" + function.encode() + b"\0")
            struct.pack_into("<Q" if plus else "<I", section, table_at + thunk_size * position,
                             thunk)
        name_rva = put(dll.encode() + b"\0")
        struct.pack_into("<IIIII", section, 20 * index, table_rva, 0, 0, name_rva, table_rva)
        table_at += thunk_size * (len(functions) + 1)
    section += bytes(-len(section) % 0x200)

    directories = [(0, 0)] * 16
    directories[1] = (SECTION_RVA, descriptors_size)
    if delay_import:
        directories[13] = (SECTION_RVA, 32)
    optional = bytearray(240 if plus else 224)
    struct.pack_into("<H", optional, 0, 0x20B if plus else 0x10B)
    struct.pack_into("<HH", optional, 40, *os_version)
    struct.pack_into("<HH", optional, 48, *subsystem_version)
    struct.pack_into("<H", optional, 68, subsystem)
    count_at = 108 if plus else 92
    struct.pack_into("<I", optional, count_at, 16)
    for i, (rva, size) in enumerate(directories):
        struct.pack_into("<II", optional, count_at + 4 + 8 * i, rva, size)

    image = bytearray(SECTION_OFFSET)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x40)
    image[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x44, machine, 1, 0, 0, 0, len(optional),
                     characteristics)
    image[0x58:0x58 + len(optional)] = optional
    table = 0x58 + len(optional)
    image[table:table + 8] = b".idata\0\0"
    struct.pack_into("<IIII", image, table + 8, len(section), SECTION_RVA, len(section),
                     SECTION_OFFSET)
    return bytes(image + section)


def patched(data, offset, blob):
    return data[:offset] + blob + data[offset + len(blob):]


GOOD = forge_pe()
GOOD_DLL = forge_pe(characteristics=0x2102, subsystem=3)


class CommandLineTest(unittest.TestCase):
    """The audit as the test command runs it: exit status and the lines it prints."""

    def run_audit(self, data, library=False, list_path=None):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "image.exe")
            with open(path, "wb") as stream:
                stream.write(data)
            command = [sys.executable, SCRIPT, "--library" if library else "--program", path]
            if list_path:
                command += ["--list", list_path]
            done = subprocess.run(command, capture_output=True, text=True, check=False)
        self.assertEqual(done.stderr, "")
        return done.returncode, done.stdout

    def test_images(self):
        # name, image, checked as a library, exit status, texts that must appear
        cases = [
            ("clean program", GOOD, False, 0, []),
            ("clean library", GOOD_DLL, True, 0, []),
            ("several DLLs, narrow and 9x stub functions",
             forge_pe(imports=(("kernel32.dll", ("CreateMutexW", "GetVersion")),
                               ("USER32.dll", ("MessageBoxW", "DialogBoxParamW")))),
             False, 0, []),
            ("Vista function", forge_pe(imports=(("KERNEL32.dll", ("CloseHandle",
                                                                   "GetTickCount64")),)),
             False, 1, ["KERNEL32.dll!GetTickCount64", "Vista"]),
            ("NT-only function", forge_pe(imports=(("KERNEL32.dll", ("TryEnterCriticalSection",)),)),
             False, 1, ["TryEnterCriticalSection", "not 9x"]),
            ("function not in the list", forge_pe(imports=(("KERNEL32.dll", ("FrobnicateW",)),)),
             False, 1, ["KERNEL32.dll!FrobnicateW: not in the list"]),
            ("DLL not in the list", forge_pe(imports=(("libwinpthread-1.dll", ("pthread_once",)),)),
             False, 1, ["libwinpthread-1.dll is not a system DLL"]),
            ("import by ordinal", forge_pe(imports=(("COMCTL32.DLL", (17,)),)),
             False, 1, ["COMCTL32.DLL!#17: imported by ordinal"]),
            ("subsystem version 6.0", forge_pe(subsystem_version=(6, 0)),
             False, 1, ["subsystem version 6.0"]),
            ("operating system version 5.1", forge_pe(os_version=(5, 1)),
             False, 1, ["operating system version 5.1"]),
            ("console program", forge_pe(subsystem=3), False, 1, ["subsystem 3: not GUI"]),
            ("program checked as a library", GOOD, True, 1, ["not a DLL"]),
            ("library checked as a program", GOOD_DLL, False, 1, ["a DLL, not a program"]),
            ("delay-load imports", forge_pe(delay_import=True), False, 1, ["delay-load"]),
            ("64-bit image whose imports are fine",
             forge_pe(machine=0x8664, plus=True, subsystem_version=(4, 0)),
             False, 1, ["not a 32-bit i386 image"]),
            ("symbol table left in", patched(GOOD, 0x4C, struct.pack("<I", 0x400)),
             False, 1, ["not a stripped build"]),
            ("debug section left in", patched(GOOD, 0x58 + 224, b"/4\0\0\0\0\0\0"),
             False, 1, ["not a stripped build"]),
        ]
        for name, data, library, status, texts in cases:
            with self.subTest(name):
                code, output = self.run_audit(data, library)
                self.assertEqual(code, status, output)
                for text in texts:
                    self.assertIn(text, output)
                if status == 0:
                    self.assertEqual(output, "")

    def test_every_finding_is_printed(self):
        data = forge_pe(imports=(("KERNEL32.dll", ("GetTickCount64", "AddVectoredExceptionHandler",
                                                   "CloseHandle")),),
                        subsystem_version=(5, 1))
        code, output = self.run_audit(data)
        self.assertEqual(code, 1)
        self.assertEqual(len(output.splitlines()), 3, output)

    def test_64_bit_import_table_is_read(self):
        data = forge_pe(machine=0x8664, plus=True,
                        imports=(("KERNEL32.dll", ("CloseHandle", "GetTickCount64", 3)),))
        findings = check_imports.audit(data, check_imports.load_list(check_imports.DEFAULT_LIST),
                                       library=False)
        self.assertEqual([f.split(":")[0] for f in findings[1:]],
                         ["KERNEL32.dll!GetTickCount64", "KERNEL32.dll!#3"])

    def test_malformed_images_fail_cleanly(self):
        optional = 0x58
        import_rva = optional + 96 + 8  # data directory 1 of a PE32 image
        # GOOD's section: two descriptors, two thunks, "CloseHandle" with its hint, the DLL name.
        dll_name = SECTION_OFFSET + 20 * 2 + 4 * 2 + 2 + len("CloseHandle") + 1
        cases = [
            ("empty file", b""),
            ("truncated DOS header", GOOD[:30]),
            ("no MZ", patched(GOOD, 0, b"ZM")),
            ("PE header offset past the end", patched(GOOD, 0x3C, struct.pack("<I", 0x7FFFFFF0))),
            ("no PE signature", patched(GOOD, 0x40, b"XX\0\0")),
            ("unknown optional header magic", patched(GOOD, optional, b"\x07\x01")),
            ("section table cut off", GOOD[:optional + 224 + 20]),
            ("import directory outside every section",
             patched(GOOD, import_rva, struct.pack("<I", 0x90000))),
            ("section data cut off", GOOD[:SECTION_OFFSET + 30]),
            ("DLL name without its end", GOOD[:dll_name + 4]),
        ]
        for name, data in cases:
            with self.subTest(name):
                code, output = self.run_audit(data)
                self.assertEqual(code, 2, output)
                self.assertIn("malformed PE image", output)
                self.assertNotIn("Traceback", output)

    def test_every_truncation_is_rejected_without_a_crash(self):
        entries = check_imports.load_list(check_imports.DEFAULT_LIST)
        data = forge_pe(imports=(("KERNEL32.dll", ("CloseHandle", "Sleep")),
                                 ("USER32.dll", ("MessageBoxW",))))
        for length in range(len(data)):
            try:
                check_imports.audit(data[:length], entries, library=False)
            except check_imports.PeError:
                pass

    def test_list_errors(self):
        cases = [
            ("unknown status", "KERNEL32.DLL CloseHandle maybe\n", ":1: expected"),
            ("missing status", "# a comment\nKERNEL32.DLL CloseHandle\n", ":2: expected"),
            ("listed twice", "KERNEL32.DLL Sleep both\nkernel32.dll Sleep stub9x\n",
             ":2: kernel32.dll Sleep listed twice"),
        ]
        for name, text, message in cases:
            with self.subTest(name), tempfile.NamedTemporaryFile("w", suffix=".txt") as stream:
                stream.write(text)
                stream.flush()
                code, output = self.run_audit(GOOD, list_path=stream.name)
                self.assertEqual(code, 2, output)
                self.assertIn(message, output)


if __name__ == "__main__":
    unittest.main()
