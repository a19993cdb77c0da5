#!/usr/bin/env python3
"""Tests of scripts/check-cpu.py over small images and link maps forged here."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "check-cpu.py")

IMAGE_BASE = 0x400000
TEXT_RVA = 0x1000
TEXT_OFFSET = 0x200
ALIGNMENT = 0x200

# i486 code that must pass: a frame, CMPXCHG, XADD, BSWAP, a string move, the
# x87 compare of the 486 (FUCOMPP, FNSTSW, SAHF), a short NOP, a return.
CLEAN = bytes.fromhex("55 89e5 0fb1ca 0fc1ca 0fc8 f3a5 dae9 dfe0 9e 90 5d c3")


def forge(functions, trailing=b"", text_address=None, text_size=None):
    """An image whose .text holds the functions' code, then `trailing` (data),
    and the map of its link.

    functions: (name, code) pairs, laid out one after another in one input
    section of main.o.
    """
    code = b"".join(body for _, body in functions)
    text = code + trailing
    raw = text + bytes(-len(text) % ALIGNMENT)
    optional = bytearray(224)
    struct.pack_into("<H", optional, 0, 0x10B)
    struct.pack_into("<I", optional, 28, IMAGE_BASE)
    struct.pack_into("<II", optional, 32, 0x1000, ALIGNMENT)
    image = bytearray(TEXT_OFFSET)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x40)
    image[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x44, 0x014C, 1, 0, 0, 0, len(optional), 0x0102)
    image[0x58:0x58 + len(optional)] = optional
    table = 0x58 + len(optional)
    image[table:table + 8] = b".text\0\0\0"
    struct.pack_into("<IIII", image, table + 8, len(text), TEXT_RVA, len(raw), TEXT_OFFSET)

    start = IMAGE_BASE + TEXT_RVA
    size = len(raw) if text_size is None else text_size
    lines = ["Archive member included to satisfy reference by file (symbol)", "",
             "Linker script and memory map", "",
             f".text           {text_address or start:#010x}  {size:#x}",
             " *(.text)",
             f" .text          {start:#010x}  {len(code):#x} obj/main.o"]
    at = start
    for name, body in functions:
        lines.append(f"                {at:#010x}                {name}")
        at += len(body)
    lines += [f"                {at:#010x}                        ___CTOR_LIST__ = .",
              f" .ctors         {at:#010x}  {len(trailing):#x} crtend.o",
              "", f".data           {start + 0x1000:#010x}  0x200"]
    return bytes(image + raw), "\n".join(lines) + "\n"


class AuditTest(unittest.TestCase):
    def run_audit(self, image, map_text):
        with tempfile.TemporaryDirectory() as folder:
            image_path = os.path.join(folder, "program.exe")
            map_path = os.path.join(folder, "program.map")
            with open(image_path, "wb") as stream:
                stream.write(image)
            with open(map_path, "w") as stream:
                stream.write(map_text)
            done = subprocess.run([sys.executable, SCRIPT, "--image", image_path, map_path],
                                  capture_output=True, text=True, check=False)
        self.assertEqual(done.stderr, "")
        return done.returncode, done.stdout

    def test_instructions(self):
        # name, code after the clean prologue, text that must appear (None: passes)
        cases = [
            ("i486 code", b"", None),
            ("UD2 faults on every processor", bytes.fromhex("0f0b"), None),
            ("PAUSE is REP NOP", bytes.fromhex("f390"), None),
            ("CMOVcc", bytes.fromhex("0f44c1"), "cmove eax, ecx (not an i486 instruction)"),
            ("FCMOVcc", bytes.fromhex("dac1"), "fcmovb"),
            ("FCOMI", bytes.fromhex("dbf1"), "fcomi"),
            ("FUCOMIP", bytes.fromhex("dfe9"), "fucomip st(1)"),
            ("long NOP", bytes.fromhex("0f1f00"), "nop dword ptr [eax] (long NOP"),
            ("CPUID", bytes.fromhex("0fa2"), "cpuid"),
            ("RDTSC", bytes.fromhex("0f31"), "rdtsc"),
            ("CMPXCHG8B", bytes.fromhex("0fc70e"), "cmpxchg8b"),
            ("MMX", bytes.fromhex("0f6ec0"), "movd mm0, eax (vector register)"),
            ("SSE", bytes.fromhex("0f28c1"), "movaps"),
            ("SSE2 MOVSD, not the string move", bytes.fromhex("f20f10c1"),
             "movsd xmm0, xmm1 (vector register)"),
            ("FISTTP (SSE3)", bytes.fromhex("db08"), "fisttp"),
            ("POPCNT", bytes.fromhex("f30fb8c1"), "popcnt"),
            ("undecodable bytes", bytes.fromhex("0f04"), "byte 0f (cannot be decoded)"),
        ]
        for name, code, text in cases:
            with self.subTest(name):
                image, map_text = forge([("_first", CLEAN), ("_second@4", code + b"\xc3")])
                status, output = self.run_audit(image, map_text)
                if text is None:
                    self.assertEqual(status, 0, output)
                    self.assertIn(" 0 beyond the i486", output)
                else:
                    self.assertEqual(status, 1, output)
                    # The address and the function it lies in.
                    self.assertIn(f"{IMAGE_BASE + TEXT_RVA + len(CLEAN):#010x} {text}", output)
                    self.assertIn("in _second@4 [main.o]", output)

    def test_offset_within_a_function_and_every_finding(self):
        body = CLEAN + bytes.fromhex("0f44c1 0f31")
        image, map_text = forge([("_only", body)])
        status, output = self.run_audit(image, map_text)
        self.assertEqual(status, 1, output)
        self.assertIn(f"in _only+{len(CLEAN):#x} [main.o]", output)
        self.assertIn(f"in _only+{len(CLEAN) + 3:#x} [main.o]", output)
        self.assertIn(" 2 beyond the i486", output)

    def test_data_after_the_code_is_not_decoded(self):
        # A CMOV's bytes and undecodable ones in the constructor list.
        image, map_text = forge([("_first", CLEAN)], trailing=bytes.fromhex("0f44c1 0f04 ffff"))
        status, output = self.run_audit(image, map_text)
        self.assertEqual(status, 0, output)

    def test_a_map_of_another_link_is_refused(self):
        cases = [
            ("other address", forge([("_f", CLEAN)], text_address=0x10001000)),
            ("other size", forge([("_f", CLEAN)], text_size=0x400)),
            ("no .text", (forge([("_f", CLEAN)])[0], ".data 0x00402000 0x200\n")),
            ("not an image", (b"MZ" + bytes(10), forge([("_f", CLEAN)])[1])),
        ]
        for name, (image, map_text) in cases:
            with self.subTest(name):
                status, output = self.run_audit(image, map_text)
                self.assertEqual(status, 2, output)
                self.assertNotIn("Traceback", output)


if __name__ == "__main__":
    unittest.main()
