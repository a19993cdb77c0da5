#!/usr/bin/env bash
# The infection lab: an infected Windows XP in a Wine prefix of its own,
# cleaned by the real program as a user would clean it.
#
#   tests/lab/run-lab.sh TOOL_EXE LAB_EXE AUTO_EXE [FILE...]
#
# TOOL_EXE is the program, LAB_EXE qrt-lab.exe (tests/lab/lab.cpp), AUTO_EXE
# our automation program qrt-auto.exe, FILE... the sample programs qrt-lab
# plants. Steps:
#  1. a fresh prefix as Windows XP that offers only its own C: (no Z:, the
#     host's /); everything is copied into C:\qrt\ and runs from there;
#  2. `qrt-lab make-tool` makes C:\qrt\QuelvixRemovalTool.exe: the program
#     with its built-in description script and one lab description appended
#     (the built-in script cleans no ini or hosts entries, the lab's does);
#  3. `qrt-lab plant` plants the infection and starts the infected process;
#  4. the program runs with its window on a virtual display: Start is
#     clicked, the lab description's pop-up is answered, screenshots are
#     taken before, during and after the scan, and Exit ends the program;
#  5. a second run with /SILENT scans again and must find nothing;
#  6. `qrt-lab make-self-infected` gives a copy of the program the body of
#     W32/Stanit in a section that never runs; that copy scans silently,
#     memory and an empty drive E: that exists for this run only, and must
#     leave its own process running, write its log and exit with status 1;
#  7. `qrt-lab check` tests what was cleaned, repaired and left, and prints
#     the summary table.
# With QRT_LAB_OUT set, the screenshots, the window's text, the two logs,
# the pop-ups and the summary are saved in that folder. The test report
# goes where GTEST_OUTPUT says (as test-all.sh counts the reports). Uses
# the display in DISPLAY, or starts an Xvfb of its own. Cleans up what it
# started, also on errors and interrupts, and deletes the run folder unless
# QRT_LAB_KEEP is set. Exits 0 only when every check passed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/wine-env.sh"

if [ $# -lt 3 ]; then
  echo "usage: $0 TOOL_EXE LAB_EXE AUTO_EXE [FILE...]" >&2
  exit 2
fi
files=()
for file in "$@"; do
  [ -f "$file" ] || { echo "lab: no file $file" >&2; exit 2; }
  files+=("$(realpath "$file")")
done
tool_exe=${files[0]}
lab_name=$(basename "${files[1]}")
auto_name=$(basename "${files[2]}")
report_target=$(qrt_gtest_report_target) || exit 2
out=${QRT_LAB_OUT:-}

mkdir -p "$QRT_ROOT/build/wine"
run_dir=$(mktemp -d "$QRT_ROOT/build/wine/lab.XXXXXX") || exit 1
prefix=$run_dir/prefix
qrt=$prefix/drive_c/qrt
xvfb=""
tool_pid=""
cleanup() {
  qrt_end_process "$tool_pid"
  [ -d "$prefix" ] && qrt_wine_stop_server "$prefix"
  qrt_end_process "$xvfb"
  cd "$QRT_ROOT"
  [ -n "${QRT_LAB_KEEP:-}" ] || rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

seconds_since() { awk -v ms=$(($(qrt_now_ms) - $1)) 'BEGIN {printf "%.1f", ms / 1000}'; }
say() { echo "lab: $*"; }
fail() {
  echo "lab: $*" >&2
  exit 1
}
# Wine runs from C:\qrt\: the host's folders are no drives here.
win() { (cd "$qrt" && "$QRT_WINE" "$@" </dev/null); }
lab() { win "C:\\qrt\\$lab_name" "$@"; }
auto() { win "C:\\qrt\\$auto_name" "$@"; }
shot() {  # name
  import -display "$DISPLAY" -window root "$run_dir/$1.png" 2>/dev/null ||
    say "no screenshot $1.png"
}

start=$(qrt_now_ms)
say "a fresh Wine prefix as Windows XP, with no drive but its own C:"
qrt_wine_new_prefix "$prefix" && qrt_wine_confine "$prefix" || fail "no prefix"
qrt_wine_set_version "$prefix" winxp
qrt_wine_stop_server "$prefix"
mkdir -p "$qrt/source" && cp "${files[@]:1}" "$qrt/" && cp "$tool_exe" "$qrt/source/" ||
  fail "cannot copy the programs"
drives=$(shopt -s nullglob && cd "$prefix/dosdevices" && echo ?: ?::)
[ "$drives" = "c:" ] || fail "the prefix offers other drives ($drives): no lab"

if [ -z "${DISPLAY:-}" ]; then
  qrt_start_xvfb "$run_dir/display" || fail "Xvfb did not start"
  xvfb=$QRT_XVFB_PID
fi
export WINEPREFIX=$prefix
qrt_wine_start_server "$prefix" || fail "no wineserver"
qrt_wine_warm_up "$prefix"

say "making the lab's copy of the program"
lab make-tool "C:\\qrt\\source\\$(basename "$tool_exe")" 'C:\qrt\QuelvixRemovalTool.exe' ||
  fail "make-tool failed"
rm -rf "$qrt/source"

say "planting the infection"
lab plant || fail "plant failed"
planted=$(qrt_now_ms)

# The first run: the window on the display, Start clicked as a user would.
say "starting the program; clicking Start"
run_start=$(qrt_now_ms)
(cd "$qrt" && exec "$QRT_WINE" 'C:\qrt\QuelvixRemovalTool.exe' </dev/null >/dev/null 2>&1) &
tool_pid=$!
auto wait-window --timeout 60000 >/dev/null || fail "the window did not open"
sleep 1.5  # the clock shows one second after the window opens
shot before
auto click 1000 >/dev/null || fail "Start cannot be clicked"
shot scanning

# The scan runs until the window is idle again: Stop disabled, no message
# box. Every box on the way is saved and answered: OK for the lab
# description's pop-up, No for any question.
: >"$run_dir/popups.txt"
saw_running=false
deadline=$(($(qrt_now_ms) + 180000))
while :; do
  [ "$(qrt_now_ms)" -lt "$deadline" ] || fail "the scan did not end within 180 s"
  boxes=$(auto message-boxes 2>/dev/null)
  if [ -n "$boxes" ]; then
    echo "$boxes" | head -1 >>"$run_dir/popups.txt"
    [ -s "$run_dir/popup.png" ] || shot popup
    case " $(echo "$boxes" | head -1 | cut -f4) " in
      *" No "*) auto answer No >/dev/null ;;
      *) auto answer OK >/dev/null ;;
    esac
    continue
  fi
  if [ "$(auto enabled 1001 2>/dev/null)" = enabled ]; then
    saw_running=true
  elif $saw_running || [ "$(auto enabled 1000 2>/dev/null)" = enabled ]; then
    # Start is enabled again and Stop is not: the scan is over (a scan that
    # ended before Stop was seen counts too).
    sleep 0.5
    [ -z "$(auto message-boxes 2>/dev/null)" ] && break
  fi
  sleep 0.2
done
shot after
auto view-text >"$run_dir/window.txt" 2>/dev/null
say "the scan ended after $(seconds_since "$run_start") s; clicking Exit"
auto click 1005 >/dev/null || fail "Exit cannot be clicked"
wait "$tool_pid"
status=$?
tool_pid=""
[ -f "$qrt/QuelvixRemovalTool.log" ] && cp "$qrt/QuelvixRemovalTool.log" "$run_dir/scan.log"

say "a second run with /SILENT"
silent_start=$(qrt_now_ms)
(cd "$qrt" && exec timeout -k 5 300 "$QRT_WINE" 'C:\qrt\QuelvixRemovalTool.exe' /SILENT \
  /LOG 'C:\qrt\silent.log' </dev/null >/dev/null 2>&1) &
tool_pid=$!
wait "$tool_pid"
silent_status=$?
tool_pid=""
[ $silent_status -eq 124 ] && say "the silent run did not end within 300 s"
say "the silent run took $(seconds_since "$silent_start") s"
[ -f "$qrt/silent.log" ] && cp "$qrt/silent.log" "$run_dir/silent.log"
cp "$run_dir/popups.txt" "$qrt/popups.txt"

say "an infected copy of the program scans its own memory and an empty drive"
lab make-self-infected 'C:\qrt\QuelvixRemovalTool.exe' 'C:\qrt\self\QuelvixRemovalTool.exe' ||
  fail "make-self-infected failed"
mkdir -p "$run_dir/empty" && ln -s "$run_dir/empty" "$prefix/dosdevices/e:" || fail "no drive E:"
(cd "$qrt/self" && exec timeout -k 5 300 "$QRT_WINE" 'C:\qrt\self\QuelvixRemovalTool.exe' \
  /SILENT /LOG 'C:\qrt\self.log' E: </dev/null >/dev/null 2>&1) &
tool_pid=$!
wait "$tool_pid"
self_status=$?
tool_pid=""
rm -f "$prefix/dosdevices/e:"
[ -f "$qrt/self.log" ] && cp "$qrt/self.log" "$run_dir/self.log"

echo
echo "===== The log of the first run ====="
# The log is UTF-16 (little-endian, without byte-order mark).
iconv -f UTF-16LE -t UTF-8 "$run_dir/scan.log" 2>/dev/null | tr -d '\r' || echo "(no log)"
echo "===== end of the log ====="
echo

# The repaired program, run as a user would run it (the check compares its
# output with the clean program's).
say "the repaired program C:\\Program Files\\Lab Tools\\hello.exe prints:"
(cd "$qrt" && timeout -k 5 30 "$QRT_WINE" 'C:\Program Files\Lab Tools\hello.exe' </dev/null 2>&1 |
  tr -d '\r' | sed 's/^/    /')

say "checking what the program did"
gtest=()
[ -n "$report_target" ] && gtest=(--gtest_output='xml:C:\qrt\lab-report.xml')
lab check --log 'C:\qrt\QuelvixRemovalTool.log' --status "$status" \
  --silent-log 'C:\qrt\silent.log' --silent-status "$silent_status" \
  --self-log 'C:\qrt\self.log' --self-status "$self_status" \
  --popups 'C:\qrt\popups.txt' "${gtest[@]}" | tee "$run_dir/summary.txt"
result=${PIPESTATUS[0]}
if [ -n "$report_target" ]; then
  if [ -f "$qrt/lab-report.xml" ]; then
    qrt_copy_gtest_report "$qrt/lab-report.xml" "$report_target" lab || result=1
  else
    result=1
  fi
fi
if [ -n "$out" ]; then
  mkdir -p "$out"
  for file in before scanning popup after; do
    [ -f "$run_dir/$file.png" ] && cp "$run_dir/$file.png" "$out/lab-$file.png"
  done
  for file in window.txt scan.log silent.log self.log popups.txt summary.txt; do
    [ -f "$run_dir/$file" ] && cp "$run_dir/$file" "$out/lab-$file"
  done
fi
say "exit status $status (windowed run), $silent_status (silent run)," \
  "$self_status (infected copy);" \
  "planting $(((planted - start) / 1000)) s, all $(seconds_since "$start") s"
exit "$result"
