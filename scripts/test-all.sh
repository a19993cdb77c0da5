#!/usr/bin/env bash
# Sets up the machine, builds all four presets and runs every suite:
#   native and native-asan unit tests, the win64 tests under Wine (unit,
#   Win32 backend, end-to-end), the win32 import audit, formatting and layering.
# Ends with one line "N passed, M failed" that sums every suite.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }
source scripts/wine-env.sh

passed=0
failed=0
results=$root/build/test-results
rm -rf "$results"
mkdir -p "$results"

check() {  # name command...: one pass or one failure
  local name=$1
  shift
  if "$@"; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}

build() {  # preset
  cmake --preset "$1" >"$results/configure-$1.log" 2>&1 &&
    cmake --build --preset "$1" >"$results/build-$1.log" 2>&1 ||
    { tail -40 "$results/configure-$1.log" "$results/build-$1.log"; return 1; }
}

# Adds the test cases of the GoogleTest XML reports in DIR to the counts; a
# test program that failed without a report counts as one failure.
count_gtest() {  # dir ctest-exit-code
  local dir=$1 ctest_status=$2 tests=0 failures=0 skipped=0 t f s
  for xml in "$dir"/*.xml; do
    [ -f "$xml" ] || continue
    read -r t f s < <(python3 - "$xml" <<'PY'
import sys, xml.etree.ElementTree as ET
r = ET.parse(sys.argv[1]).getroot()
print(r.get("tests", 0), int(r.get("failures", 0)) + int(r.get("errors", 0)), r.get("disabled", 0))
PY
)
    tests=$((tests + t)); failures=$((failures + f))
  done
  if [ "$ctest_status" -ne 0 ] && [ "$failures" -eq 0 ]; then failures=1; fi
  passed=$((passed + tests - failures))
  failed=$((failed + failures))
  echo "  $dir: $((tests - failures)) passed, $failures failed"
}

run_ctest() {  # preset xml-dir-as-the-programs-see-it
  local preset=$1 dir=$results/$1
  mkdir -p "$dir"
  GTEST_OUTPUT="xml:$2/" ctest --preset "$preset" --timeout 600 >"$results/ctest-$preset.log" 2>&1
  local status=$?
  grep -E 'tests passed|Test #|\*\*\*' "$results/ctest-$preset.log" | sed 's/^/  /'
  [ $status -eq 0 ] || tail -60 "$results/ctest-$preset.log"
  count_gtest "$dir" $status
}

# The Windows test programs see the host's / as drive Z:.
windows_path() { echo "Z:${1//\//\\}\\"; }

for preset in native native-asan win64 win32; do
  check "build $preset" build "$preset"
done

check "formatting (.clang-format)" scripts/check-format.sh
check "layers include only downwards; only the Win32 backend includes <windows.h>" \
  scripts/check-layering.sh
check "the layering check fails on includes against the direction" \
  tests/tools/check_layering_test.sh
check "the Win32 backend calls wide functions only through its text binding" \
  scripts/check-wide-calls.sh
# The shipped program and its PSAPI.DLL: i386, GUI (a DLL), stripped, version
# fields that 9x and NT 4 accept, and only functions of docs/target-imports.txt.
check "win32 import audit: only functions of Windows 98 and NT 4, loadable image fields" \
  python3 scripts/check-imports.py --program build/win32/src/QuelvixRemovalTool.exe \
  --library build/win32/src/psapi/PSAPI.DLL
check "import audit rejects forged offenders and malformed images" \
  python3 scripts/check-imports-test.py
# Every instruction of both images runs on an i486 (function bounds from the
# maps of their links).
check "win32 instruction audit: nothing beyond the i486" \
  python3 scripts/check-cpu.py \
  --image build/win32/src/QuelvixRemovalTool.exe build/win32/src/QuelvixRemovalTool.exe.map \
  --image build/win32/src/psapi/PSAPI.DLL build/win32/src/psapi/PSAPI.DLL.map
check "instruction audit finds forged offenders and refuses a map of another link" \
  python3 scripts/check-cpu-test.py
# A second build of the shipped program elsewhere, while nothing else runs.
check "the shipped program is reproducible: a build in another folder gives the same bytes" \
  scripts/check-reproducible.sh build/win32/src/QuelvixRemovalTool.exe

[ -d build/native ] && run_ctest native "$results/native"
[ -d build/native-asan ] && run_ctest native-asan "$results/native-asan"

if [ -d build/win64 ]; then
  # One prefix, one wineserver and one display for the win64 ctest run; the
  # end-to-end runner makes its own prefixes and display.
  export QRT_WINEPREFIX=$root/build/wine/tests
  qrt_wine_stop_server "$QRT_WINEPREFIX"
  qrt_wine_new_prefix "$QRT_WINEPREFIX" && touch "$QRT_WINEPREFIX/.ready"
  exec 4> >(cat >"$results/xvfb-display")
  Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'qrt_wine_stop_server "$QRT_WINEPREFIX"; kill $xvfb 2>/dev/null' EXIT
  for _ in $(seq 50); do [ -s "$results/xvfb-display" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -1 "$results/xvfb-display")
  qrt_wine_start_server "$QRT_WINEPREFIX"
  qrt_wine_warm_up "$QRT_WINEPREFIX"
  run_ctest win64 "$(windows_path "$results/win64")"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
