#!/usr/bin/env python3
"""Writes resources/description_script.txt, the built-in description script.

The script is UTF-16LE with a byte-order mark and CR LF line ends: 112 lines,
five blocks separated by an empty line. Its five signature patterns are our
own: 126 bytes (252 hexadecimal digits) each, drawn from SHA-256 in counter
mode over a fixed seed per pattern, so that they are distinct, look like
random data and come out the same on every run. The second block uses its
pattern as memory and as file signature.

Some lines deliberately end in a blank, and the first header is written
"[Malware" while the others are written "[MALWARE": the parser must take both.

Usage: tools/make_description_script.py [OUTPUT]   (default: the path above)
"""
import hashlib
import pathlib
import sys

PATTERN_BYTES = 126


def pattern(seed):
    out = b""
    counter = 0
    while len(out) < PATTERN_BYTES:
        out += hashlib.sha256(f"{seed}/{counter}".encode()).digest()
        counter += 1
    return out[:PATTERN_BYTES].hex().upper()


def banker_actions():
    files = ["amp.ini", "msupdate.dll", "msiesetup.exe", "c__2303.nls", "c__34895.nls",
             "c__374.nls", "c__0593.nls", "c__23732.nls", "c__10983.nls", "c__3478.nls",
             "c__3479.nls", "c__3480.nls", "c__3481.nls", "c__3482.nls", "c__3948.nls"]
    clsid = "{3A4E6FF3-BF59-446E-9DC8-731BCE2F349A}"
    keys = [f"HKCR\\CLSID\\{clsid}\\InprocServer32",
            f"HKCR\\CLSID\\{clsid}\\ProgID",
            f"HKCR\\CLSID\\{clsid}",
            "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
            f"Browser Helper Objects\\{clsid}",
            "HKCR\\msupdate.Microsoft Update Service\\Clsid",
            "HKCR\\msupdate.Microsoft Update Service"]
    lines = [f"REMOVE_FILE %SYSDIR%\\{name}" for name in files]
    lines.append("REMOVE_FILE %WINDIR%\\setup.cmd ")  # ends in a blank
    lines.append("REMOVE_FILE %infected_file%")
    lines += [f'REMOVE_REG_KEY "{key}"' for key in keys]
    assert len(lines) == 23
    return lines


def script_lines():
    blocks = [[
        "[Malware Worm/NetSky.P]",
        "SIGNATURE_FILE " + pattern("Quelvix description script/NetSky.P"),
        "KILL_PROCESS %infected_processes% ",  # ends in a blank
        "REMOVE_FILE %infected_file%",
        "REMOVE_FILE %WINDIR%\\fvprotect.exe %WINDIR%\\zipped.tmp",
        "REMOVE_FILE %WINDIR%\\zip1.tmp %WINDIR%\\zip2.tmp %WINDIR%\\zip3.tmp "
        "%WINDIR%\\base64.tmp %WINDIR%\\userconfig9x.dll",
        "REMOVE_RUN_REG fvprotect.exe",
    ]]
    aatz = pattern("Quelvix description script/Banker.AATZ")
    blocks.append(["[MALWARE TR/Spy.Banker.AATZ] ",  # ends in a blank
                   "SIGNATURE_MEM " + aatz,
                   "SIGNATURE_FILE " + aatz] + banker_actions())
    for variant in ("AATZ.1", "AATZ.2", "AATZ.3"):
        blocks.append([f"[MALWARE TR/Spy.Banker.{variant}]",
                       "SIGNATURE_FILE " + pattern(f"Quelvix description script/Banker.{variant}")]
                      + banker_actions())
    lines = []
    for block in blocks:
        if lines:
            lines.append("")
        lines += block
    assert len(lines) == 112
    return lines


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    output = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else (
        root / "resources" / "description_script.txt")
    text = "".join(line + "\r\n" for line in script_lines())
    output.write_bytes("\ufeff".encode("utf-16-le") + text.encode("utf-16-le"))


if __name__ == "__main__":
    main()
