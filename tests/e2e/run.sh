#!/usr/bin/env bash
# Runs the end-to-end tests under Wine, each test in a Wine prefix of its own.
#
#   tests/e2e/run.sh E2E_TESTS_EXE TOOL_EXE [GTEST_FILTER]
#
# E2E_TESTS_EXE is qrt_e2e_tests.exe, TOOL_EXE the program under test (host
# paths). Starts one Xvfb for the run; for every test: copies a fresh prefix
# from the template, starts its wineserver, runs the test (at most 120 s),
# ends that server and deletes the prefix. Cleans up only what it started,
# also on errors and interrupts. Exits non-zero when a test failed.
#
# The program scans every fixed drive when Start is clicked, so no prefix
# keeps Z: (the host's /): each offers its own C: alone (qrt_wine_confine).
# Both programs are copied into C:\qrt\ and run from there, with C:\qrt\
# as the current folder; QRT_TOOL_EXE names the program's copy.
#
# GTEST_OUTPUT ("xml:DIR\" or "xml:FILE" on Z: as test-all.sh gives it, or a
# host path) is out of reach from the prefix: every test writes its report
# into C:\qrt\, and the report is copied to that place on the host, into a
# directory as qrt_e2e_tests.xml, qrt_e2e_tests_1.xml, ... (a report of its
# own for every test, as GoogleTest names them).
#
# QRT_E2E_WINDOWS_VERSION (win98, nt40, winxp, ...) sets Wine's Windows
# version in every prefix; other variables (QRT_WIN9X_STUBS) reach the
# programs unchanged.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 E2E_TESTS_EXE TOOL_EXE [GTEST_FILTER]" >&2
  exit 2
fi
tests_exe=$(realpath "$1")
tool_exe=$(realpath "$2")
filter=${3:-*}
for exe in "$tests_exe" "$tool_exe"; do
  [ -f "$exe" ] || { echo "e2e: no file $exe" >&2; exit 2; }
done
tests_name=$(basename "$tests_exe")
tool_name=$(basename "$tool_exe")
export QRT_TOOL_EXE="C:\\qrt\\$tool_name"
report_target=$(qrt_gtest_report_target) || exit 2

mkdir -p "$QRT_ROOT/build/wine"
run_dir=$(mktemp -d "$QRT_ROOT/build/wine/e2e-run.XXXXXX") || exit 1
prefix=""       # the prefix in use
server_up=false # whether its wineserver runs
next=""         # the prefix being copied for the next test
copy_pid=""     # the copy in the background
xvfb=""
test_pid=""

# Ends the test program, the server of the prefix in use, and deletes the
# prefix (in the background: the run directory is waited for at the end).
stop_prefix() {
  if [ -n "$test_pid" ]; then
    kill "$test_pid" 2>/dev/null
    wait "$test_pid" 2>/dev/null
    test_pid=""
  fi
  if $server_up; then
    qrt_wine_stop_server "$prefix"
    server_up=false
  fi
  [ -n "$prefix" ] && rm -rf "$prefix" &
  prefix=""
}

cleanup() {
  stop_prefix
  [ -n "$copy_pid" ] && wait "$copy_pid" 2>/dev/null
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  wait
  rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Starts making prefix NAME for the next test: a copy of the template
# without Z:, the programs in C:\qrt\.
copy_next() {  # name
  next=$run_dir/$1
  {
    qrt_wine_new_prefix "$next" && qrt_wine_confine "$next" && mkdir "$next/drive_c/qrt" &&
      cp "$tests_exe" "$tool_exe" "$next/drive_c/qrt/"
  } &
  copy_pid=$!
}

# Makes the copied prefix the one in use and starts its server.
use_next() {
  wait "$copy_pid" || { echo "e2e: cannot make a Wine prefix" >&2; exit 1; }
  copy_pid=""
  prefix=$next
  if [ -n "${QRT_E2E_WINDOWS_VERSION:-}" ]; then
    (cd "$prefix/drive_c" && qrt_wine_set_version "$prefix" "$QRT_E2E_WINDOWS_VERSION")
    qrt_wine_stop_server "$prefix"
  fi
  export WINEPREFIX=$prefix
  qrt_wine_start_server "$prefix" && server_up=true ||
    { echo "e2e: cannot start a wineserver" >&2; exit 1; }
}

# Runs the test program in the prefix in use from C:\qrt\, bounded, in the
# background so that a signal reaches the traps at once.
run_tests_exe() {
  (cd "$prefix/drive_c/qrt" &&
    exec timeout -k 5 120 "$QRT_WINE" "C:\\qrt\\$tests_name" "$@" </dev/null) &
  test_pid=$!
  wait "$test_pid"
  local status=$?
  test_pid=""
  return $status
}

# The template is made (once) before anything runs in parallel with it.
qrt_wine_template || { echo "e2e: cannot make the Wine template prefix" >&2; exit 1; }

# The first prefix exists and no server runs for it before the display
# starts; Wine's windows need the display from then on.
copy_next 0
wait "$copy_pid" || { echo "e2e: cannot make a Wine prefix" >&2; exit 1; }
WINEPREFIX=$next "$QRT_WINESERVER" -w
qrt_start_xvfb "$run_dir/display"
started=$?
xvfb=$QRT_XVFB_PID
[ $started -eq 0 ] || { echo "e2e: Xvfb did not start" >&2; exit 1; }
use_next

# The list of tests: "Suite." lines followed by "  Test" lines. Without
# GTEST_OUTPUT, or the list would be written as a report and counted.
listing=$(unset GTEST_OUTPUT; run_tests_exe --gtest_list_tests "--gtest_filter=$filter") || {
  echo "e2e: cannot list the tests" >&2
  exit 1
}
tests=()
suite=""
while IFS= read -r line; do
  line=${line%$'\r'}
  line=${line%%#*}
  line=${line%"${line##*[![:space:]]}"}
  case "$line" in
    '') ;;
    ' '*)
      name=$suite${line##*[[:space:]]}
      case "$name" in DISABLED_* | *.DISABLED_*) ;; *) tests+=("$name") ;; esac
      ;;
    *) suite=$line ;;
  esac
done <<<"$listing"
if [ ${#tests[@]} -eq 0 ]; then
  echo "e2e: no tests match $filter" >&2
  exit 1
fi

# The first test runs in the prefix of the listing; the prefix of the next
# test is copied while a test runs.
failed=()
for i in "${!tests[@]}"; do
  name=${tests[$i]}
  if [ "$i" -gt 0 ]; then
    stop_prefix
    use_next
  fi
  [ $((i + 1)) -lt ${#tests[@]} ] && copy_next $((i + 1))
  echo "e2e: $name"
  if [ -n "$report_target" ]; then
    GTEST_OUTPUT='xml:C:\qrt\report.xml' run_tests_exe "--gtest_filter=$name"
    status=$?
    report=$prefix/drive_c/qrt/report.xml
    if [ -f "$report" ]; then
      qrt_copy_gtest_report "$report" "$report_target" "${tests_name%.exe}" || status=1
    fi
  else
    run_tests_exe "--gtest_filter=$name"
    status=$?
  fi
  if [ $status -ne 0 ]; then
    [ $status -eq 124 ] && echo "e2e: $name timed out"
    failed+=("$name")
  fi
done

echo "e2e: $((${#tests[@]} - ${#failed[@]})) of ${#tests[@]} tests passed"
for name in "${failed[@]}"; do echo "e2e: FAILED $name"; done
[ ${#failed[@]} -eq 0 ]
