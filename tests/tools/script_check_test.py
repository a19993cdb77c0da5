#!/usr/bin/env python3
"""Runs script-check on the built-in script and on broken scripts and checks
its exact output lines and exit status (natively, or under Wine through the
emulator of the win64 build).

Usage: script_check_test.py --program EXE [--emulator RUNNER] --builtin SCRIPT
                            [--golden DUMP]
With --golden, the --dump output of the built-in script must equal the file
(native runs, whose folders are the fake Windows XP layout). Without it, the
dump must list the five blocks (runs on a real system, whose folders differ).

When GTEST_OUTPUT is "xml:DIR/", a report of the cases is written to
DIR/script_check.xml in the GoogleTest format, so that test runners count them.
"""
import argparse
import os
import subprocess
import sys
import tempfile

QUOTE_WARNING = ('[Parse Error] Line   3: An argument starts with " character, but doesn\'t '
                 'contain an " end character. Word ignored.')

# (label, script with LF line ends (written with CR LF), arguments after the
# file, expected output lines, expected exit status)
CASES = [
    ("odd signature", "[Malware A.B]\nSIGNATURE_FILE 12345\nKILL_PROCESS x\n", [],
     ["[Parse Error] Line   2: The line contains a signature with odd length (must be even): 5."],
     20),
    ("action first, after blank lines", "\n  \nREMOVE_FILE x\n", ["--dump"],
     ["[Parse Error] Line   3: New malware description block must begin."], 20),
    ("header at the end", "[Malware A.B]\nSIGNATURE_MEM 00\nKILL_PROCESS x\n\n[MALWARE A.C]\n", [],
     ["[Parse Error] Line   6: End of file reached before the signatures and actions have been "
      "provided."], 20),
    ("name repeated", "[Malware A.B]\nSIGNATURE_MEM 00\n[Malware a.b]\nSIGNATURE_MEM 11\n", [],
     ["[Parse Error] Line   3: A malware with a.b name has already been specified."], 20),
    ("rename short", "[Malware A.B]\nSIGNATURE_MEM 00\nRENAME_FILE %WINDIR%\\x\n", ["--dump"],
     ["[Parse Error] Line   3: The RENAME_FILE action must have two or three arguments "
      "(one provided)."], 20),
    ("warning then valid dump",
     "[Malware A.B]\nSIGNATURE_FILE 0a\nREMOVE_FILE a \"b\nADD_REG_VALUE hkcu\\K N:DWORD 1\n"
     "RENAME_FILE d o n\n",
     ["--dump"],
     [QUOTE_WARNING, "BLOCK A.B", "SIGNATURE_FILE 0a", "COMPILED_MEM -", "COMPILED_FILE -",
      "REMOVE_FILE <a>",
      "ADD_REG_VALUE key=<HKEY_CURRENT_USER\\K> value=<N> data_type=<DWORD> data=<1>",
      "RENAME_FILE directory=<d> old_value=<o> new_value=<n>", "LIST", "Sober.J/P/Y",
      "W32/Stanit.A"], 0),
    ("compiled signatures and the list",
     "[Malware X.y]\nSIGNATURE_MEM " + "41" * 31 + "\nSIGNATURE_FILE " + "41" * 32 +
     "\nRESTORE_HOSTS\n[Malware W.z]\nSIGNATURE_FILE " + "41" * 32 + "\nRESTORE_HOSTS\n",
     ["--dump"],
     ["BLOCK X.y", "SIGNATURE_MEM " + "41" * 31, "SIGNATURE_FILE " + "41" * 32, "COMPILED_MEM -",
      # 41 x 5, anchor word 4141, length 32, anchor offset 0, CRC 0x2AA015C5
      "COMPILED_FILE 4141414141414120000000C515A02A", "RESTORE_HOSTS",
      "BLOCK W.z", "SIGNATURE_FILE " + "41" * 32, "COMPILED_MEM -",
      "COMPILED_FILE 4141414141414120000000C515A02A", "RESTORE_HOSTS",
      # X.y is left out: its memory signature has 31 bytes.
      # The built-in handlers are listed with the script's malware.
      "LIST", "Sober.J/P/Y", "W.z", "W32/Stanit.A"], 0),
    ("valid without dump", "[Malware A.B]\nSIGNATURE_FILE 0a\nSIGNATURE_MEM 0b\n", [], [], 0),
]

BUILTIN_BLOCKS = ["BLOCK Worm/NetSky.P", "BLOCK TR/Spy.Banker.AATZ", "BLOCK TR/Spy.Banker.AATZ.1",
                  "BLOCK TR/Spy.Banker.AATZ.2", "BLOCK TR/Spy.Banker.AATZ.3"]


class Runner:
    def __init__(self, program, emulator):
        self.program = program
        self.emulator = emulator

    def path(self, path):
        # Wine shows the host's / as drive Z:.
        return "Z:" + os.path.abspath(path).replace("/", "\\") if self.emulator else path

    def run(self, *args):
        command = ([self.emulator] if self.emulator else []) + [self.program, *args]
        done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        out = done.stdout.decode("utf-8").replace("\r\n", "\n")
        return out.split("\n")[:-1] if out else [], done.returncode


def write_script(directory, name, text):
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write("\ufeff".encode("utf-16-le") + text.replace("\n", "\r\n").encode("utf-16-le"))
    return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("--builtin", required=True)
    parser.add_argument("--golden")
    options = parser.parse_args()
    runner = Runner(options.program, options.emulator)
    results = []

    def check(label, lines, status, expected_lines, expected_status):
        problems = []
        if status != expected_status:
            problems.append(f"exit status {status}, expected {expected_status}")
        if lines != expected_lines:
            problems.append("output:\n  " + "\n  ".join(lines) +
                            "\nexpected:\n  " + "\n  ".join(expected_lines))
        results.append((label, problems))
        print(("FAIL " if problems else "ok   ") + label)
        for problem in problems:
            print("  " + problem)

    lines, status = runner.run(runner.path(options.builtin), "--dump")
    if options.golden:
        with open(options.golden, encoding="utf-8") as f:
            check("built-in script dump", lines, status, f.read().split("\n")[:-1], 0)
    else:
        check("built-in script blocks", [line for line in lines if line.startswith("BLOCK ")],
              status, BUILTIN_BLOCKS, 0)
        check("built-in script dump length", [str(len(lines))], status, ["123"], 0)

    with tempfile.TemporaryDirectory() as directory:
        for number, (label, text, args, expected, expected_status) in enumerate(CASES):
            script = write_script(directory, f"case{number}.txt", text)
            lines, status = runner.run(runner.path(script), *args)
            check(label, lines, status, expected, expected_status)
        lines, status = runner.run(runner.path(os.path.join(directory, "missing.txt")))
        check("unreadable file", lines, status, [], 2)

    lines, status = runner.run("--help")
    check("help", lines[:1], status, ["Usage: script-check FILE [--dump]"], 0)
    lines, status = runner.run()
    check("no file", lines, status, [], 2)

    failures = sum(1 for _, problems in results if problems)
    report = os.environ.get("GTEST_OUTPUT", "")
    if report.startswith("xml:") and report.endswith(("/", "\\")):
        directory = report[4:]
        if directory.startswith("Z:"):
            directory = directory[2:].replace("\\", "/")
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, "script_check.xml"), "w", encoding="utf-8") as f:
            f.write(f'<?xml version="1.0" encoding="UTF-8"?>\n<testsuites tests="{len(results)}" '
                    f'failures="{failures}" disabled="0" errors="0" name="script_check">\n'
                    '</testsuites>\n')
    print(f"{len(results) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
