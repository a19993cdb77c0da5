#!/usr/bin/env bash
# A silent scan of one prepared drive by the real program, under Wine:
#
#   tests/e2e/drive_scan.sh TOOL_EXE clean|hostile
#
#   clean    a copy of Wine's own Windows libraries and programs: nothing is
#            found, nothing changes, every file and folder is counted;
#   hostile  malformed executables, a folder of 3,000 entries and paths at
#            and far beyond the path limit (drive_scan.py tells them): the
#            program ends by itself and counts every file that it may open.
#
# The drive is a folder of this run under build/wine/, mapped as S: of a fresh
# prefix that keeps nothing else but its own C: (no Z:, the host's /). The
# program is copied into C:\qrt\ and runs there as
#   QuelvixRemovalTool.exe /SILENT /LOG C:\qrt\scan.log S:
# (at most 300 s). drive_scan.py judges the exit status, the log's report and
# the drive's listing and SHA-256 sums taken before and after the run, prints
# the counts and the times, and writes a GoogleTest report of three tests:
# into GTEST_OUTPUT's place when it is set (as test-all.sh counts the
# reports), else into the run folder only. Uses the display in DISPLAY, or
# starts an Xvfb of its own (the program needs a display even when silent).
# Cleans up what it started, also on errors and interrupts, and deletes the
# run folder unless QRT_DRIVE_SCAN_KEEP is set; exits non-zero when a test
# failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/wine-env.sh"

if [ $# -ne 2 ] || { [ "$2" != clean ] && [ "$2" != hostile ]; }; then
  echo "usage: $0 TOOL_EXE clean|hostile" >&2
  exit 2
fi
tool_exe=$(realpath "$1")
kind=$2
[ -f "$tool_exe" ] || { echo "drive_scan: no file $tool_exe" >&2; exit 2; }
tool_name=$(basename "$tool_exe")
case $kind in
  clean) suite=CleanLibrariesDriveScan ;;
  hostile) suite=HostileFilesDriveScan ;;
esac
report_target=$(qrt_gtest_report_target) || exit 2

mkdir -p "$QRT_ROOT/build/wine"
run_dir=$(mktemp -d "$QRT_ROOT/build/wine/drive-scan-$kind.XXXXXX") || exit 1
drive=$run_dir/s
prefix=$run_dir/prefix
xvfb=""
tool_pid=""
cleanup() {
  qrt_end_process "$tool_pid"
  [ -d "$prefix" ] && qrt_wine_stop_server "$prefix"
  qrt_end_process "$xvfb"
  [ -n "${QRT_DRIVE_SCAN_KEEP:-}" ] || rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

py() { python3 "$here/drive_scan.py" "$@"; }

start=$(qrt_now_ms)
# The prefix, with S: leading to the drive's folder, still empty.
mkdir "$drive" || exit 1
qrt_wine_new_prefix "$prefix" && qrt_wine_confine "$prefix" || exit 1
ln -s "$drive" "$prefix/dosdevices/s:"
mkdir "$prefix/drive_c/qrt" && cp "$tool_exe" "$prefix/drive_c/qrt/" || exit 1

if [ -z "${DISPLAY:-}" ]; then
  qrt_start_xvfb "$run_dir/display"
  started=$?
  xvfb=$QRT_XVFB_PID
  [ $started -eq 0 ] || { echo "drive_scan: Xvfb did not start" >&2; exit 1; }
fi
export WINEPREFIX=$prefix
qrt_wine_start_server "$prefix" || exit 1

# Wine starts its system processes while the drive is filled.
qrt_wine_warm_up "$prefix" &
warm_up=$!
py "$kind" "$drive" "$run_dir/expected.json" && py manifest "$drive" "$run_dir/before" || exit 1
wait "$warm_up"
prepared=$(qrt_now_ms)

# The scan must reach nothing but C: and the drive, and no link may lead it
# out of the drive.
drives=$(shopt -s nullglob && cd "$prefix/dosdevices" && echo ?: ?::)
if [ "$drives" != "c: s:" ]; then
  echo "drive_scan: the prefix offers other drives ($drives): no scan" >&2
  exit 1
fi
if [ -n "$(find "$drive" -type l -print -quit)" ]; then
  echo "drive_scan: the drive holds a symbolic link: no scan" >&2
  exit 1
fi

# The run, from C:\qrt\ (the host's folders are no drives here), in the
# background so that a signal reaches the traps at once.
run_start=$(qrt_now_ms)
(cd "$prefix/drive_c/qrt" &&
  exec timeout -k 5 300 "$QRT_WINE" "C:\\qrt\\$tool_name" /SILENT /LOG 'C:\qrt\scan.log' S: \
    </dev/null >/dev/null 2>&1) &
tool_pid=$!
wait "$tool_pid"
status=$?
tool_pid=""
run_end=$(qrt_now_ms)
[ $status -eq 124 ] && echo "drive_scan: the program did not end within 300 s"

py manifest "$drive" "$run_dir/after" || exit 1
py check "$suite" --expected "$run_dir/expected.json" --log "$prefix/drive_c/qrt/scan.log" \
  --status "$status" --seconds "$(awk -v ms=$((run_end - run_start)) 'BEGIN {print ms / 1000}')" \
  --before "$run_dir/before" --after "$run_dir/after" --xml "$run_dir/report.xml"
result=$?
end=$(qrt_now_ms)
echo "drive_scan: $kind: the prefix, the drive and its manifest $(((prepared - start) / 1000)) s," \
  "the program's run $(((run_end - run_start) / 1000)) s, all $(((end - start) / 1000)) s"
if [ -n "$report_target" ]; then
  qrt_copy_gtest_report "$run_dir/report.xml" "$report_target" "drive_scan_$kind" || result=1
fi
exit $result
