#!/usr/bin/env bash
# The program's main job, shown on the infection lab: sets up the machine,
# builds the Windows program and the lab, makes a Wine prefix look like an
# infected Windows XP (forged malware samples, their companion files, Run
# values, win.ini/system.ini lines, hosts entries, a running infected
# process, an infected copy of a program of ours next to clean ones), runs
# the real program on a virtual display as a user would (Start clicked, the
# pop-up answered, Exit), runs it again with /SILENT, and checks and prints
# what was found, removed, repaired and left. Saves the screenshots, the
# window's text, the logs and the summary in build/demo/.
#
# The prefix offers only its own C: (no Z:, the host's /): nothing outside
# it is scanned or changed. Exits 0 only when every check held.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
echo "demo: building the win64 program and the lab"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target QuelvixRemovalTool qrt_lab_files
out=$root/build/demo
rm -rf "$out"
mkdir -p "$out"

# The lab's programs, as CMake lists them: qrt-lab.exe, qrt-auto.exe and the
# sample programs.
mapfile -t lab_files <build/win64/tests/lab/lab-files.txt
status=0
QRT_LAB_OUT=$out tests/lab/run-lab.sh build/win64/src/QuelvixRemovalTool.exe "${lab_files[@]}" ||
  status=$?

echo
echo "Screenshots:  build/demo/lab-before.png, lab-scanning.png, lab-popup.png, lab-after.png"
echo "Logs:         build/demo/lab-scan.log (windowed run), lab-silent.log (/SILENT run)"
echo "Window text:  build/demo/lab-window.txt"
if [ $status -eq 0 ]; then
  echo "demo: the infected system was cleaned; every check held"
else
  echo "demo: a check failed (status $status)" >&2
fi
exit $status
