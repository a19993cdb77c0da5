#!/usr/bin/env python3
"""Instruction audit of the shipped 32-bit program: nothing beyond the i486.

Windows 98 and NT 4 run on a 486, and 98 to XP on Pentium and K6 processors,
none of which has the instructions that came with the Pentium Pro (CMOVcc,
FCMOVcc, FCOMI, the long NOP) or later (MMX, SSE, ...). This audit
disassembles each image function by function and fails on every instruction
that an i486 with its floating-point unit does not execute.

The bounds come from the GNU linker's map of the same link (-Wl,-Map): the
input sections of the output section .text whose names mark code (.text,
.text$name, .text.name, .init, .fini) are decoded from their first byte, and
the symbols inside them name the functions. The rest of .text (constructor
lists, exception tables, padding between sections) is never decoded as code.
The map must describe the image: its .text must lie where the image's does.

  check-cpu.py --image FILE MAP [--image FILE MAP]... [--summary]

Prints every offending instruction with its address, function and object
file; --summary adds the counts by mnemonic and by object file. Exits 0 when
all is well, 1 on findings, 2 when an image or map cannot be read or does not
match.
"""

import argparse
import collections
import re
import struct
import sys

try:
    import capstone
except ImportError:
    # Debian's python3-capstone (scripts/packages.txt), also for a python3 of
    # another installation: the module loads the system's libcapstone itself.
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import capstone
    except ImportError:  # reported by audit()
        capstone = None

# The instructions of the 8086 to the i486, integer and x87, in the disassembler's
# spelling. Everything else is an offender: the Pentium's CPUID, RDTSC and
# CMPXCHG8B, the Pentium Pro's CMOVcc, FCMOVcc, FCOMI and long NOP, and every
# MMX, SSE and later instruction.
I486_INTEGER = """
aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call cbw cdq clc cld cli
clts cmc cmp cmpsb cmpsd cmpsw cmpxchg cwd cwde daa das dec div enter hlt idiv imul in inc
insb insd insw int int1 int3 into invd invlpg iret iretd ja jae jb jbe jcxz je jecxz jg jge
jl jle jmp jne jno jnp jns jo jp js lahf lar lcall lds lea leave les lfs lgdt lgs lidt ljmp
lldt lmsw lodsb lodsd lodsw loop loope loopne lsl lss ltr mov movsb movsd movsw movsx movzx
mul neg nop not or out outsb outsd outsw pop popal popaw popfd popfw push pushal pushaw
pushfd pushfw rcl rcr ret retf rol ror sahf sal sar sbb scasb scasd scasw seta setae setb
setbe sete setg setge setl setle setne setno setnp setns seto setp sets sgdt shl shld shr
shrd sidt sldt smsw stc std sti stosb stosd stosw str sub test verr verw wait wbinvd xadd
xchg xlatb xor
"""
I486_X87 = """
f2xm1 fabs fadd faddp fbld fbstp fchs fcom fcomp fcompp fcos fdecstp fdiv fdivp fdivr fdivrp
ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp fist fistp fisub fisubr fld fld1
fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fninit fnop fnsave
fnstcw fnstenv fnstsw fpatan fprem fprem1 fptan frndint frstor fscale fsin fsincos fsqrt fst
fstp fsub fsubp fsubr fsubrp ftst fucom fucomp fucompp fxam fxch fxtract fyl2x fyl2xp1
"""
# UD2 raises the invalid-opcode fault it is meant to raise on every processor,
# the i486 included (0F 0B is undefined there); PAUSE is a NOP with a REP
# prefix, which processors before the Pentium 4 ignore.
ALLOWED = frozenset(I486_INTEGER.split() + I486_X87.split() + ["ud2", "pause"])
PREFIXES = ("lock ", "rep ", "repe ", "repne ", "repz ", "repnz ")
VECTOR_REGISTER = re.compile(r"\b[xyz]?mm\d+\b")

CODE_SECTION = re.compile(r"^\.(text|init|fini)(\b|[.$])")
OUTPUT_SECTION = re.compile(r"^(\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)")
INPUT_SECTION = re.compile(r"^ (\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)(?:\s+(.*))?$")
INPUT_NAME = re.compile(r"^ (\S+)$")
INPUT_PLACE = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)(?:\s+(.*))?$")
SYMBOL = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
ASSIGNMENT = re.compile(r"^[A-Za-z_.$][\w.$]*\s+=\s|^\[!provide\]|^PROVIDE|^ASSERT")


class AuditError(Exception):
    """An image or map that cannot be read, or that do not belong together."""


class Section:
    """One input section of code: where it lies, its object file and symbols."""

    def __init__(self, name, address, size, origin):
        self.name = name
        self.address = address
        self.size = size
        self.origin = origin
        self.symbols = []  # (address, name), in map order

    def function_at(self, address):
        best = None
        for symbol_address, name in self.symbols:
            if symbol_address <= address and (best is None or symbol_address >= best[0]):
                best = (symbol_address, name)
        if best is None:
            return f"{self.name}+{address - self.address:#x}"
        offset = address - best[0]
        return best[1] if offset == 0 else f"{best[1]}+{offset:#x}"


def read_map(text):
    """The .text output section's (address, size) and its input sections of code."""
    text_place = None
    sections = []
    current = None
    in_text = False
    pending = None  # an input section name whose place is on the next line
    for line in text.splitlines():
        if line and not line[0].isspace():
            match = OUTPUT_SECTION.match(line)
            in_text = bool(match) and match.group(1) == ".text"
            if in_text:
                text_place = (int(match.group(2), 16), int(match.group(3), 16))
            current = pending = None
            continue
        if not in_text:
            continue
        name = address = size = None
        if pending is not None:
            match = INPUT_PLACE.match(line)
            name, pending = pending, None
            if match:
                address, size, origin = int(match.group(1), 16), int(match.group(2), 16), match.group(3)
        elif (match := INPUT_SECTION.match(line)):
            name = match.group(1)
            address, size, origin = int(match.group(2), 16), int(match.group(3), 16), match.group(4)
        elif (match := INPUT_NAME.match(line)):
            if not match.group(1).startswith("*"):
                pending = match.group(1)
            current = None
            continue
        elif (match := SYMBOL.match(line)):
            if current is not None and not ASSIGNMENT.match(match.group(2)):
                current.symbols.append((int(match.group(1), 16), match.group(2).strip()))
            continue
        else:
            current = None
            continue
        current = None
        if address is None or name.startswith("*") or not CODE_SECTION.match(name) or size == 0:
            continue
        current = Section(name, address, size, origin or "")
        sections.append(current)
    if text_place is None:
        raise AuditError("the map has no output section .text")
    return text_place, sections


def read_text(data):
    """The image's .text: (virtual address, virtual size, file alignment, raw bytes)."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise AuditError("no DOS header (MZ)")
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    if pe_offset + 24 > len(data) or data[pe_offset:pe_offset + 4] != b"PE\0\0":
        raise AuditError("no PE signature")
    (machine, count, _, _, _, optional_size, _) = struct.unpack_from("<HHIIIHH", data,
                                                                      pe_offset + 4)
    if machine != 0x014C:
        raise AuditError(f"machine {machine:#x} is not i386")
    optional = pe_offset + 24
    if optional + optional_size > len(data) or optional_size < 32:
        raise AuditError("optional header runs past the end of the file")
    (magic,) = struct.unpack_from("<H", data, optional)
    if magic != 0x10B:
        raise AuditError(f"optional header magic {magic:#x} is not PE32")
    (image_base,) = struct.unpack_from("<I", data, optional + 28)
    (file_alignment,) = struct.unpack_from("<I", data, optional + 36)
    table = optional + optional_size
    if table + 40 * count > len(data):
        raise AuditError("section table runs past the end of the file")
    for i in range(count):
        at = table + 40 * i
        name = data[at:at + 8].rstrip(b"\0")
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", data,
                                                                                 at + 8)
        if name == b".text":
            if raw_offset + raw_size > len(data):
                raise AuditError(".text runs past the end of the file")
            raw = data[raw_offset:raw_offset + min(raw_size, virtual_size)]
            return image_base + virtual_address, virtual_size, file_alignment, raw
    raise AuditError("the image has no section .text")


def offence(mnemonic, operands):
    """Why an instruction is beyond the i486, or None."""
    plain = mnemonic
    for prefix in PREFIXES:
        if plain.startswith(prefix):
            plain = plain[len(prefix):]
    if VECTOR_REGISTER.search(operands):
        return "vector register"
    if plain not in ALLOWED:
        return "not an i486 instruction"
    if plain == "nop" and operands:
        return "long NOP (Pentium Pro)"
    return None


def audit(data, map_text):
    """Findings (address, function, origin, text, reason) and the instruction count."""
    if capstone is None:
        raise AuditError("the disassembler module (python3-capstone) is missing")
    text_address, text_size, alignment, raw = read_text(data)
    place, sections = read_map(map_text)
    # The map gives the section's size rounded up to the file alignment.
    padded = -(-text_size // alignment) * alignment if alignment else text_size
    if place[0] != text_address or place[1] not in (text_size, padded):
        raise AuditError(f"the map's .text ({place[0]:#x}, {place[1]:#x} bytes) is not the "
                         f"image's ({text_address:#x}, {text_size:#x} bytes): not the same link")
    decoder = capstone.Cs(capstone.CS_ARCH_X86, capstone.CS_MODE_32)
    decoder.skipdata = False
    findings = []
    decoded = 0
    for section in sections:
        start = section.address - text_address
        end = start + section.size
        if start < 0 or end > text_size:
            raise AuditError(f"{section.name} of {section.origin} lies outside .text")
        code = raw[start:end].ljust(section.size, b"\0")
        at = 0
        while at < len(code):
            last = at
            for address, size, mnemonic, operands in decoder.disasm_lite(code[at:],
                                                                          section.address + at):
                decoded += 1
                last = address + size - section.address
                reason = offence(mnemonic, operands)
                if reason:
                    findings.append((address, section.function_at(address), section.origin,
                                     f"{mnemonic} {operands}".strip(), reason))
            if last < len(code):
                address = section.address + last
                findings.append((address, section.function_at(address), section.origin,
                                 f"byte {code[last]:02x}", "cannot be decoded"))
                last += 1
            at = last
    return findings, decoded


def short_origin(origin):
    return origin.rsplit("/", 1)[-1]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--image", nargs=2, action="append", required=True,
                        metavar=("FILE", "MAP"), help="an image and the map of its link")
    parser.add_argument("--summary", action="store_true",
                        help="also count the offenders by mnemonic and by object file")
    args = parser.parse_args(argv)
    total = 0
    for image_path, map_path in args.image:
        try:
            with open(image_path, "rb") as f:
                data = f.read()
            with open(map_path, encoding="utf-8", errors="replace") as f:
                map_text = f.read()
            findings, decoded = audit(data, map_text)
        except (OSError, AuditError) as error:
            print(f"{image_path}: {error}")
            return 2
        for address, function, origin, instruction, reason in findings:
            print(f"{image_path}: {address:#010x} {instruction} ({reason}) in {function} "
                  f"[{short_origin(origin)}]")
        if args.summary and findings:
            by_mnemonic = collections.Counter(f[3].split()[0] for f in findings)
            by_origin = collections.Counter(short_origin(f[2]) for f in findings)
            print("  by mnemonic: " + ", ".join(f"{m} {n}" for m, n in by_mnemonic.most_common()))
            for origin, n in by_origin.most_common():
                print(f"  {n:5d} {origin}")
        print(f"{image_path}: {decoded} instructions decoded, {len(findings)} beyond the i486")
        total += len(findings)
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
